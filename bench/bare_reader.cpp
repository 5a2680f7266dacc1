// The floor for a dump: the same read requests to the same simulator, the same bytes
// written to the same kind of files, and nothing else (no checker, no device object).
#include <cstdio>
#include <memory>
#include <string>

#include "platform/win32.h"

namespace {

const GUID kInterfaceClass = {
    0x7F95AF7C, 0xF68A, 0x4351, {0xBB, 0x8E, 0x26, 0x8A, 0xF2, 0x8E, 0xA1, 0x4C}};

std::string FirstInterfacePath() {
    HDEVINFO set = SetupDiGetClassDevsA(&kInterfaceClass, nullptr, nullptr, 0x12);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    std::string path;
    if (SetupDiEnumDeviceInterfaces(set, nullptr, &kInterfaceClass, 0, &data) != FALSE) {
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
        DeviceIoControl(handle, 0xC3516008u, nullptr, 0, block, sizeof block, &count, nullptr);
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
    Copy(path + "\\VekDiagTextLog", argv[1], "w");
    Copy(path + "\\VekDiagTimingLog", argv[2], "wb");
    return 0;
}
