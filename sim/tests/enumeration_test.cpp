// SetupAPI enumeration of the platform layer against a running simulator.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "adapter/vekdiag_protocol.h"
#include "tests/support/simulator.h"

namespace {

const GUID* const VEK_DIAG = &GUID_DEVINTERFACE_VEKDIAG;

struct Listed {
    std::string path;
    DWORD flags;
};

std::vector<Listed> List(DWORD flags) {
    HDEVINFO set = SetupDiGetClassDevsA(VEK_DIAG, nullptr, nullptr, flags);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    std::vector<Listed> listed;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, VEK_DIAG, i, &data); ++i) {
        EXPECT_EQ(std::memcmp(&data.InterfaceClassGuid, VEK_DIAG, sizeof(GUID)), 0);
        std::vector<uint64_t> storage(32);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        detail->cbSize = sizeof *detail;
        EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 256, nullptr, nullptr));
        listed.push_back(Listed{detail->DevicePath, data.Flags});
    }
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    return listed;
}

constexpr DWORD PRESENT = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

TEST(Enumeration, PresentOnlyOrAlsoRemovedInterfaces) {
    Simulator server({"--adapter", "0:1", "--adapter", "1:1"});
    const std::string added = server.Control({"add", "2:1"});
    server.Control({"remove", "0"});
    const std::vector<Listed> present = List(PRESENT);
    ASSERT_EQ(present.size(), 2u);
    EXPECT_EQ(present[0].path, R"(\\?\ROOT#MEDIA#0001#{7f95af7c-f68a-4351-bb8e-268af28ea14c})");
    EXPECT_EQ(present[1].path + "\n", added);
    EXPECT_EQ(present[1].flags, SPINT_ACTIVE);
    const std::vector<Listed> all = List(DIGCF_DEVICEINTERFACE);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].flags, 0u);
    const GUID other = {1, 2, 3, {4}};
    HDEVINFO none = SetupDiGetClassDevsA(&other, nullptr, nullptr, PRESENT);
    SP_DEVICE_INTERFACE_DATA data = {sizeof data, {}, 0, 0};
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(none, nullptr, &other, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    SetupDiDestroyDeviceInfoList(none);
}

TEST(Enumeration, DetailSizeRules) {
    Simulator server;
    HDEVINFO set = SetupDiGetClassDevsA(VEK_DIAG, nullptr, nullptr, PRESENT);
    server.Control({"add", "1:1"});  // the set is a snapshot: not in it
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = 28;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, VEK_DIAG, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, VEK_DIAG, 0, &data));
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, VEK_DIAG, 1, &data));

    const std::string path = R"(\\?\ROOT#MEDIA#0000#{7f95af7c-f68a-4351-bb8e-268af28ea14c})";
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, 4 + path.size() + 1);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 100, &required, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);

    std::vector<uint64_t> storage(16);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = 4 + path.size() + 1;  // the size of the whole buffer is a usual mistake
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
    detail->cbSize = 8;
    EXPECT_FALSE(
        SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required - 1, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(detail->DevicePath, path);

    // Interface records belong to their set.
    HDEVINFO another = SetupDiGetClassDevsA(VEK_DIAG, nullptr, nullptr, PRESENT);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(another, &data, detail, 256, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetupDiDestroyDeviceInfoList(another);

    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, VEK_DIAG, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 256, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE));
}

// The narrow enumeration gives an own path's bytes as they are, and its channels open by
// that path followed by the channel's name.
TEST(Enumeration, PathOfItsOwnIsListedAsBytesAndOpensItsChannels) {
    Simulator server({"--no-adapter"});
    const std::string path = "\\\\?\\caf\xC3\xA9#" + std::string(32000, 'y');
    server.Control({"add", "0:1", "--path", path});
    server.Control({"text", "0", "by the long path"});
    HDEVINFO set = SetupDiGetClassDevsA(VEK_DIAG, nullptr, nullptr, PRESENT);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, VEK_DIAG, 0, &data));
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
    ASSERT_EQ(required, 4 + path.size() + 1);
    std::vector<uint64_t> storage(required / 8 + 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof *detail;
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr));
    EXPECT_TRUE(detail->DevicePath == path);
    SetupDiDestroyDeviceInfoList(set);

    const std::string channel = std::string(detail->DevicePath) + "\\VekDiagTextLog";
    HANDLE text = CreateFileA(channel.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(text, INVALID_HANDLE_VALUE);
    char block[64] = {};
    DWORD returned = 0;
    EXPECT_TRUE(
        DeviceIoControl(text, 0xC3516008, nullptr, 0, block, sizeof block, &returned, nullptr));
    EXPECT_EQ(std::string(block, returned), "by the long path");
    CloseHandle(text);
}

TEST(Enumeration, ListingThatFailsGivesNoSetAndOnlyWhatTheProgramAsksIsSupported) {
    Simulator server;
    server.Control({"pnp", "fail-enumeration"});
    EXPECT_EQ(SetupDiGetClassDevsA(VEK_DIAG, nullptr, nullptr, PRESENT), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    server.Control({"pnp", "clear"});
    EXPECT_EQ(List(PRESENT).size(), 1u);
    // Setup classes, other flags and enumerator filters are not part of the layer.
    for (const DWORD flags : {DWORD{DIGCF_PRESENT}, PRESENT | 0x4u}) {
        EXPECT_EQ(SetupDiGetClassDevsA(VEK_DIAG, nullptr, nullptr, flags), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    }
    EXPECT_EQ(SetupDiGetClassDevsA(VEK_DIAG, "ROOT", nullptr, PRESENT), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

TEST(Enumeration, NoServerGivesAnEmptySet) {
    Simulator none{Simulator::NoServer{}};
    EXPECT_TRUE(List(PRESENT).empty());
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, PRESENT), INVALID_HANDLE_VALUE);
}

}  // namespace
