// The floor for a dump: the same read requests to the same simulator, the same bytes
// written to the same kind of files, and nothing else (no checker, no device object).
#include <cstdio>
#include <memory>
#include <string>

#include "adapter/vekdiag_protocol.h"
#include "platform/win32.h"

namespace {

std::string FirstInterfacePath() {
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_VEKDIAG, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    std::string path;
    if (SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_VEKDIAG, 0, &data) != FALSE) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
        std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.get());
        detail->cbSize = sizeof *detail;
        SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, nullptr);
        path = detail->DevicePath;
    }
    SetupDiDestroyDeviceInfoList(set);
    return path;
}

void Copy(const std::string& channel, const char* fileName, const char* mode) {
    HANDLE handle =
        CreateFileA(channel.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILE* file = std::fopen(fileName, mode);
    uint8_t block[4096];
    for (;;) {
        DWORD count = 0;
        DeviceIoControl(handle, IOCTL_DIAG_READ_LOG, nullptr, 0, block, sizeof block, &count,
                        nullptr);
        if (count == 0) {
            break;
        }
        std::fwrite(block, 1, count, file);
    }
    std::fclose(file);
    CloseHandle(handle);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bare_reader TEXTFILE TIMINGFILE\n");
        return 2;
    }
    const std::string path = FirstInterfacePath();
    Copy(path + "\\" + VEKDIAG_TEXT_LOG_CHANNEL, argv[1], "w");
    Copy(path + "\\" + VEKDIAG_TIMING_LOG_CHANNEL, argv[2], "wb");
    return 0;
}
