#include "adapter/vekdiag_device_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "adapter/device_interface_list.h"
#include "tests/support/in_process_driver.h"

namespace {

const char FIRST[] = "\\\\?\\ROOT#MEDIA#0000#{7f95af7c-f68a-4351-bb8e-268af28ea14c}";
const char SECOND[] = "\\\\?\\ROOT#MEDIA#0001#{7f95af7c-f68a-4351-bb8e-268af28ea14c}";

class DeviceListTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(driver_.Subscribers(), 0); }
    InProcessDriver driver_{{"--no-adapter"}};
};

std::wstring Wide(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

// A removed adapter is no adapter: the enumeration asks for present interfaces only.
TEST_F(DeviceListTest, NoAdapterGivesAnEmptyList) {
    driver_.Control({"add", "0:1"});
    driver_.Control({"remove", "0"});
    const VekDiagDeviceList list;
    EXPECT_EQ(list.deviceCount, 0u);
    EXPECT_EQ(list.devices, nullptr);
    EXPECT_EQ(list.GetDevice(0), nullptr);
}

// The platform layer lists interfaces only when asked for present interfaces of the
// driver's class (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE), so these come only with those.
TEST_F(DeviceListTest, DevicesFollowEnumerationOrderAndGetDeviceIsBounded) {
    driver_.Control({"add", "7:AB"});
    driver_.Control({"add", "2:1A2B"});
    const VekDiagDeviceList list;
    ASSERT_EQ(list.deviceCount, 2u);
    EXPECT_EQ(list.GetDevice(0)->adapterIndex, 7);
    EXPECT_EQ(list.GetDevice(0)->configurePath, std::string(FIRST) + "\\VekDiagConfigure");
    EXPECT_EQ(list.GetDevice(1)->adapterType, 0x1A2B);
    EXPECT_EQ(list.GetDevice(2), nullptr);
    EXPECT_EQ(list.GetDevice(UINT64_MAX), nullptr);
}

TEST_F(DeviceListTest, FailedQueryOfTheSetGivesAnEmptyList) {
    driver_.Control({"add", "0:1"});
    driver_.Control({"pnp", "fail-enumeration"});
    const VekDiagDeviceList list;
    EXPECT_EQ(list.deviceCount, 0u);
}

// A path longer than any the program takes (here 40000 bytes of UTF-8, 20004 characters)
// cannot be read into its entry.
TEST_F(DeviceListTest, InterfaceWhosePathCannotBeReadEndsTheEnumeration) {
    std::string unreadable = "\\\\?\\";
    for (int i = 0; i < 20000; ++i) {
        unreadable += "\xC3\xA9";
    }
    driver_.Control({"add", "0:1"});
    driver_.Control({"add", "1:1", "--path", unreadable});
    driver_.Control({"add", "2:1"});
    DeviceInterfaceList found = EnumerateDeviceInterfaces(&GUID_DEVINTERFACE_VEKDIAG, 0x12);
    ASSERT_EQ(found.count, 1);
    EXPECT_STREQ(found.head->DevicePath(), FIRST);
    EXPECT_EQ(found.head->next, nullptr);
    FreeDeviceInterfaceList(&found.head);
    EXPECT_EQ(found.head, nullptr);
}

// The platform layer subscribes only a registration whose filter is a whole
// CM_NOTIFY_FILTER for the interfaces of the driver's class, without flags.
TEST_F(DeviceListTest, RegistersForInterfacesOfTheDriversClass) {
    const VekDiagDeviceList list;
    EXPECT_NE(list.notificationHandle, nullptr);
    EXPECT_EQ(driver_.Subscribers(), 1);
}

// As on a system without arrival notifications.
TEST_F(DeviceListTest, FailedRegistrationIsHarmless) {
    driver_.Control({"add", "0:1A2B"});
    driver_.Control({"pnp", "refuse-registration"});
    VekDiagDeviceList list;
    EXPECT_EQ(list.notificationHandle, nullptr);
    EXPECT_EQ(list.deviceCount, 1u);
    driver_.Control({"add", "1:1"});
    driver_.WaitForDelivery();
    EXPECT_EQ(list.TakeNewDevicePath(), nullptr);
}

TEST_F(DeviceListTest, ArrivalFillsTheSlotAndTheNewestWins) {
    VekDiagDeviceList list;
    EXPECT_EQ(list.TakeNewDevicePath(), nullptr);
    driver_.Control({"add", "0:1"});
    driver_.Control({"add", "1:1"});
    driver_.Control({"remove", "0"});
    driver_.WaitForDelivery();
    const std::unique_ptr<WCHAR[]> path = list.TakeNewDevicePath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::wstring(path.get()), Wide(SECOND));
    EXPECT_EQ(list.TakeNewDevicePath(), nullptr);  // taking empties the slot
}

TEST_F(DeviceListTest, UntakenPathIsFreedWithTheList) {
    // Leak checkers see the path freed by the destructor.
    VekDiagDeviceList list;
    driver_.Control({"add", "0:1"});
    driver_.WaitForDelivery();
    EXPECT_NE(list.newDevicePath.load(), nullptr);
}

TEST_F(DeviceListTest, MalformedEventDataIsIgnored) {
    VekDiagDeviceList list;
    std::vector<uint8_t> data(24 + 4 * sizeof(WCHAR), 0x41);  // no terminator in the link
    auto* event = reinterpret_cast<CM_NOTIFY_EVENT_DATA*>(data.data());
    list.OnInterfaceArrival(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL, event,
                            static_cast<DWORD>(data.size()));
    list.OnInterfaceArrival(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL, event, 24);
    list.OnInterfaceArrival(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL, nullptr, 100);
    EXPECT_EQ(list.TakeNewDevicePath(), nullptr);
    EXPECT_EQ(VekDiagDeviceList::NotificationCallback(
                  nullptr, nullptr, CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL, event, 100),
              0u);
}

TEST_F(DeviceListTest, ConcurrentArrivalsAndTakesLoseNothingAndFreeEverythingOnce) {
    VekDiagDeviceList list;
    constexpr int ARRIVALS = 2000;
    std::vector<uint8_t> data(24 + 16 * sizeof(WCHAR));
    auto* event = reinterpret_cast<CM_NOTIFY_EVENT_DATA*>(data.data());
    std::thread notifier([&] {
        for (int i = 1; i <= ARRIVALS; ++i) {
            const std::wstring link = L"P" + std::to_wstring(i);
            std::copy(link.c_str(), link.c_str() + link.size() + 1,
                      event->u.DeviceInterface.SymbolicLink);
            list.OnInterfaceArrival(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL, event,
                                    static_cast<DWORD>(data.size()));
        }
    });
    int last = 0;
    bool increasing = true;
    while (last < ARRIVALS) {
        if (std::unique_ptr<WCHAR[]> path = list.TakeNewDevicePath()) {
            const int seen = std::stoi(std::wstring(path.get() + 1));
            increasing = increasing && seen > last;
            last = seen;
        }
    }
    notifier.join();
    EXPECT_TRUE(increasing);
    EXPECT_EQ(list.TakeNewDevicePath(), nullptr);
}

TEST_F(DeviceListTest, DestructionEndsTheRegistrationAndClosesChannels) {
    driver_.Control({"add", "0:1"});
    driver_.Control({"add", "1:1"});
    {
        const VekDiagDeviceList list;
        EXPECT_EQ(driver_.Subscribers(), 1);
    }
    EXPECT_EQ(driver_.Subscribers(), 0);
    EXPECT_EQ(driver_.Requests(0).back(), "close VekDiagConfigure");
    EXPECT_EQ(driver_.Requests(1).back(), "close VekDiagConfigure");
}

}  // namespace
