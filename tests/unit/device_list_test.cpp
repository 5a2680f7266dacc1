#include "adapter/vekdiag_device_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "adapter/device_interface_list.h"
#include "tests/support/fake_driver.h"

namespace {

const char kFirst[] = "\\\\?\\ROOT#MEDIA#0000#{7f95af7c-f68a-4351-bb8e-268af28ea14c}";
const char kSecond[] = "\\\\?\\ROOT#MEDIA#0001#{7f95af7c-f68a-4351-bb8e-268af28ea14c}";

class DeviceListTest : public ::testing::Test {
protected:
    void SetUp() override { FakeDriver::Get().Reset(); }
    void TearDown() override { EXPECT_EQ(FakeDriver::Get().ActiveRegistrations(), 0); }
};

std::wstring Wide(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

TEST_F(DeviceListTest, NoAdapterGivesAnEmptyList) {
    const VekDiagDeviceList list;
    EXPECT_EQ(list.deviceCount, 0u);
    EXPECT_EQ(list.devices, nullptr);
    EXPECT_EQ(list.GetDevice(0), nullptr);
    EXPECT_EQ(FakeDriver::Get().lastClassDevsFlags, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

TEST_F(DeviceListTest, DevicesFollowEnumerationOrderAndGetDeviceIsBounded) {
    FakeDriver::Get().AddAdapter(kFirst, 7, 0x00AB);
    FakeDriver::Get().AddAdapter(kSecond, 2, 0x1A2B);
    const VekDiagDeviceList list;
    ASSERT_EQ(list.deviceCount, 2u);
    EXPECT_EQ(list.GetDevice(0)->adapterIndex, 7);
    EXPECT_EQ(list.GetDevice(0)->configurePath, std::string(kFirst) + "\\VekDiagConfigure");
    EXPECT_EQ(list.GetDevice(1)->adapterType, 0x1A2B);
    EXPECT_EQ(list.GetDevice(2), nullptr);
    EXPECT_EQ(list.GetDevice(UINT64_MAX), nullptr);
}

TEST_F(DeviceListTest, FailedQueryOfTheSetGivesAnEmptyList) {
    FakeDriver::Get().AddAdapter(kFirst, 0, 0);
    FakeDriver::Get().failClassDevs = true;
    const VekDiagDeviceList list;
    EXPECT_EQ(list.deviceCount, 0u);
}

TEST_F(DeviceListTest, InterfaceWhosePathCannotBeReadEndsTheEnumeration) {
    FakeDriver::Get().AddAdapter(kFirst, 0, 0);
    FakeDriver::Get().AddAdapter(kSecond, 1, 0);
    FakeDriver::Get().AddAdapter("\\\\?\\THIRD", 2, 0);
    FakeDriver::Get().failDetailAt = 1;
    DeviceInterfaceList found = EnumerateDeviceInterfaces(&GUID_DEVINTERFACE_VEKDIAG, 0x12);
    ASSERT_EQ(found.count, 1);
    EXPECT_STREQ(found.head->DevicePath(), kFirst);
    EXPECT_EQ(found.head->next, nullptr);
    FreeDeviceInterfaceList(&found.head);
    EXPECT_EQ(found.head, nullptr);
}

TEST_F(DeviceListTest, RegistersForInterfacesOfTheDriversClass) {
    const VekDiagDeviceList list;
    ASSERT_EQ(FakeDriver::Get().ActiveRegistrations(), 1);
    const CM_NOTIFY_FILTER filter = FakeDriver::Get().LastFilter();
    EXPECT_EQ(filter.cbSize, 416u);
    EXPECT_EQ(filter.Flags, 0u);
    EXPECT_EQ(filter.FilterType, CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE);
    EXPECT_EQ(std::memcmp(&filter.u.DeviceInterface.ClassGuid, &GUID_DEVINTERFACE_VEKDIAG, 16), 0);
}

TEST_F(DeviceListTest, FailedRegistrationIsHarmless) {
    FakeDriver::Get().AddAdapter(kFirst, 0, 0x1A2B);
    FakeDriver::Get().registerResult = CR_CALL_NOT_IMPLEMENTED;
    VekDiagDeviceList list;
    EXPECT_EQ(list.notificationHandle, nullptr);
    EXPECT_EQ(list.deviceCount, 1u);
    FakeDriver::Get().Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL, Wide(kSecond));
    EXPECT_EQ(list.TakeNewDevicePath(), nullptr);
}

TEST_F(DeviceListTest, ArrivalFillsTheSlotAndTheNewestWins) {
    VekDiagDeviceList list;
    EXPECT_EQ(list.TakeNewDevicePath(), nullptr);
    FakeDriver::Get().Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL, Wide(kFirst));
    FakeDriver::Get().Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL, Wide(kSecond));
    FakeDriver::Get().Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL, Wide(kFirst));
    const std::unique_ptr<WCHAR[]> path = list.TakeNewDevicePath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::wstring(path.get()), Wide(kSecond));
    EXPECT_EQ(list.TakeNewDevicePath(), nullptr);  // taking empties the slot
}

TEST_F(DeviceListTest, UntakenPathIsFreedWithTheList) {
    // Leak checkers see the path freed by the destructor.
    VekDiagDeviceList list;
    FakeDriver::Get().Notify(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL, Wide(kFirst));
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
    constexpr int kArrivals = 2000;
    std::vector<uint8_t> data(24 + 16 * sizeof(WCHAR));
    auto* event = reinterpret_cast<CM_NOTIFY_EVENT_DATA*>(data.data());
    std::thread notifier([&] {
        for (int i = 1; i <= kArrivals; ++i) {
            const std::wstring link = L"P" + std::to_wstring(i);
            std::copy(link.c_str(), link.c_str() + link.size() + 1,
                      event->u.DeviceInterface.SymbolicLink);
            list.OnInterfaceArrival(CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL, event,
                                    static_cast<DWORD>(data.size()));
        }
    });
    int last = 0;
    bool increasing = true;
    while (last < kArrivals) {
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
    FakeDriver::Get().AddAdapter(kFirst, 0, 0);
    FakeDriver::Get().AddAdapter(kSecond, 1, 0);
    {
        const VekDiagDeviceList list;
        EXPECT_EQ(FakeDriver::Get().ActiveRegistrations(), 1);
    }
    EXPECT_EQ(FakeDriver::Get().ActiveRegistrations(), 0);
    EXPECT_EQ(FakeDriver::Get().Requests(0).back(), "close VekDiagConfigure");
    EXPECT_EQ(FakeDriver::Get().Requests(1).back(), "close VekDiagConfigure");
}

}  // namespace
