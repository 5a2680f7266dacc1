#include "adapter/vekdiag_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_driver.h"

namespace {

using Lines = std::vector<std::string>;

const char kPath[] = "\\\\?\\ROOT#MEDIA#0000#{7f95af7c-f68a-4351-bb8e-268af28ea14c}";

class VekDiagDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakeDriver::Get().Reset();
        adapter_ = &FakeDriver::Get().AddAdapter(kPath, 3, 0x1A2B);
    }
    Lines Requests() { return FakeDriver::Get().Requests(0); }
    FakeAdapter* adapter_ = nullptr;
};

TEST_F(VekDiagDeviceTest, ConstructionOpensConfigureAndAsksForIndexAndType) {
    const VekDiagDevice device(kPath);
    EXPECT_EQ(device.configurePath, std::string(kPath) + "\\VekDiagConfigure");
    EXPECT_EQ(device.textLogPath, std::string(kPath) + "\\VekDiagTextLog");
    EXPECT_EQ(device.timingLogPath, std::string(kPath) + "\\VekDiagTimingLog");
    EXPECT_EQ(device.adapterIndex, 3);
    EXPECT_EQ(device.adapterType, 0x1A2B);
    EXPECT_NE(device.configureHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(device.textLogHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(device.timingLogHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Requests(), (Lines{"open VekDiagConfigure access=0x10000000 share=0x0",
                                 "ioctl 0xC3516000 in=0x00000000 out=12"}));
}

TEST_F(VekDiagDeviceTest, WideAndNarrowPathsGiveTheSameChannels) {
    const std::wstring wide(kPath, kPath + sizeof kPath - 1);
    const VekDiagDevice fromWide(wide.c_str());
    EXPECT_EQ(fromWide.configurePath, std::string(kPath) + "\\VekDiagConfigure");
    EXPECT_EQ(fromWide.textLogPath, std::string(kPath) + "\\VekDiagTextLog");
    EXPECT_EQ(fromWide.timingLogPath, std::string(kPath) + "\\VekDiagTimingLog");
    EXPECT_EQ(fromWide.adapterType, 0x1A2B);
}

TEST_F(VekDiagDeviceTest, NarrowingNeverOverrunsAndReplacesWhatCannotBeShown) {
    EXPECT_EQ(NarrowInterfacePath(L""), "");
    EXPECT_EQ(NarrowInterfacePath(L"\\\\?\\A\x00E9Z"), "\\\\?\\A?Z");
    const std::wstring longPath(40000, L'x');
    EXPECT_EQ(NarrowInterfacePath(longPath.c_str()), std::string(40000, 'x'));
}

TEST_F(VekDiagDeviceTest, LogChannelsOpenOnceWithReadAccessAndNoSharing) {
    VekDiagDevice device(kPath);
    EXPECT_NE(device.OpenTextLogChannel(), 0);
    EXPECT_NE(device.OpenTextLogChannel(), 0);
    EXPECT_NE(device.OpenTimingLogChannel(), 0);
    const Lines requests = Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2], "open VekDiagTextLog access=0x80000000 share=0x0");
    EXPECT_EQ(requests[3], "open VekDiagTimingLog access=0x80000000 share=0x0");
}

TEST_F(VekDiagDeviceTest, FailedOpenIsRetriedAtTheNextCall) {
    adapter_->openError[FakeTextLog] = ERROR_ACCESS_DENIED;
    VekDiagDevice device(kPath);
    EXPECT_EQ(device.OpenTextLogChannel(), 0);
    EXPECT_EQ(device.textLogHandle, INVALID_HANDLE_VALUE);
    adapter_->openError[FakeTextLog] = ERROR_SUCCESS;
    EXPECT_NE(device.OpenTextLogChannel(), 0);
    const Lines requests = Requests();
    EXPECT_EQ(requests[2], "open VekDiagTextLog access=0x80000000 share=0x0 -> error 5");
    EXPECT_EQ(requests[3], "open VekDiagTextLog access=0x80000000 share=0x0");
}

TEST_F(VekDiagDeviceTest, TimingOpenResetsTheCarryOnlyWhenItReallyOpens) {
    {
        VekDiagDevice device(kPath);
        device.timingChecker.carryCount = 9;
        ASSERT_NE(device.OpenTimingLogChannel(), 0);
        EXPECT_EQ(device.timingChecker.carryCount, 0);
        device.timingChecker.carryCount = 9;
        ASSERT_NE(device.OpenTimingLogChannel(), 0);  // already open: the stream goes on
        EXPECT_EQ(device.timingChecker.carryCount, 9);
    }

    FakeDriver::Get().Reset();
    FakeAdapter& failing = FakeDriver::Get().AddAdapter(kPath, 0, 0);
    failing.openError[FakeTimingLog] = ERROR_ACCESS_DENIED;
    VekDiagDevice other(kPath);
    other.timingChecker.carryCount = 5;
    EXPECT_EQ(other.OpenTimingLogChannel(), 0);
    EXPECT_EQ(other.timingChecker.carryCount, 0);
    other.timingChecker.carryCount = 5;
    EXPECT_EQ(other.OpenTimingLogChannel(), 0);  // a retry is a fresh open again
    EXPECT_EQ(other.timingChecker.carryCount, 0);
}

TEST_F(VekDiagDeviceTest, UnopenableConfigureChannelLeavesEverythingClosed) {
    adapter_->openError[FakeConfigure] = ERROR_ACCESS_DENIED;
    VekDiagDevice device(kPath);
    EXPECT_EQ(device.configureHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(device.adapterIndex, 0);
    EXPECT_EQ(device.adapterType, 0);
    int succeeded = 1;
    EXPECT_EQ(device.GetStreamOptions(&succeeded), 0u);
    EXPECT_EQ(succeeded, 0);
    EXPECT_EQ(device.SetStreamOption(1, 1), 0);
    EXPECT_EQ(device.SetLogLevel(3), 0);
    EXPECT_EQ(device.ClearCapabilityCache(), 0);
    // Every operation tried the open again; nothing else reached the driver.
    const Lines requests = Requests();
    EXPECT_EQ(requests.size(), 5u);
    for (const std::string& line : requests) {
        EXPECT_EQ(line, "open VekDiagConfigure access=0x10000000 share=0x0 -> error 5");
    }
}

TEST_F(VekDiagDeviceTest, RejectedQueryGivesZeroesNotGarbage) {
    adapter_->rejectQuery = true;
    adapter_->options = 0xF;
    VekDiagDevice device(kPath);
    EXPECT_EQ(device.adapterIndex, 0);
    EXPECT_EQ(device.adapterType, 0);
    int succeeded = 1;
    EXPECT_EQ(device.GetStreamOptions(&succeeded), 0u);
    EXPECT_EQ(succeeded, 0);
}

TEST_F(VekDiagDeviceTest, SetRequestsCarryTheirWords) {
    VekDiagDevice device(kPath);
    EXPECT_NE(device.SetStreamOption(8, 0), 0);
    EXPECT_NE(device.SetLogLevel(65535), 0);
    EXPECT_NE(device.ClearCapabilityCache(), 0);
    adapter_->options = 5;
    EXPECT_EQ(device.GetStreamOptions(), 5u);
    const Lines requests = Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[2], "ioctl 0xC3512004 in=0x00000002,0x00000008,0x00000000,0x00000000 out=0");
    EXPECT_EQ(requests[3], "ioctl 0xC3512004 in=0x00000000,0x0000FFFF,0x00000000,0x00000000 out=0");
    EXPECT_EQ(requests[4], "ioctl 0xC3512004 in=0x00000003,0x00000000,0x00000000,0x00000000 out=0");
    EXPECT_EQ(requests[5], "ioctl 0xC3516000 in=0x00000001 out=12");
    adapter_->rejectSet = true;
    EXPECT_EQ(device.SetStreamOption(1, 1), 0);
}

TEST_F(VekDiagDeviceTest, ReadLogBlockReportsCountAndSuccess) {
    VekDiagDevice device(kPath);
    uint8_t buffer[LOG_BLOCK_SIZE];
    uint32_t count = 77;
    EXPECT_EQ(device.ReadLogBlock(device.textLogHandle, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 0u);  // not open: nothing was sent
    EXPECT_EQ(device.ReadLogBlock(device.textLogHandle, buffer, sizeof buffer, nullptr), 0);
    EXPECT_EQ(Requests().size(), 2u);

    adapter_->reads[FakeTextLog].push_back({true, {'h', 'i'}, ERROR_SUCCESS});
    adapter_->reads[FakeTextLog].push_back({false, {'x'}, ERROR_MORE_DATA});
    ASSERT_NE(device.OpenTextLogChannel(), 0);
    EXPECT_NE(device.ReadLogBlock(device.textLogHandle, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(device.ReadLogBlock(device.textLogHandle, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 1u);
    EXPECT_NE(device.ReadLogBlock(device.textLogHandle, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Requests().back(), "ioctl 0xC3516008 in=- out=4096");
}

TEST_F(VekDiagDeviceTest, ACountBeyondTheBufferIsNeverBelieved) {
    VekDiagDevice device(kPath);
    ASSERT_NE(device.OpenTimingLogChannel(), 0);
    adapter_->reads[FakeTimingLog].push_back({true, std::vector<uint8_t>(64, 0xAA), ERROR_SUCCESS});
    uint8_t buffer[16];
    uint32_t count = 0;
    device.ReadLogBlock(device.timingLogHandle, buffer, sizeof buffer, &count);
    EXPECT_EQ(count, 16u);
}

TEST_F(VekDiagDeviceTest, DestructionClosesWhatIsOpenInOrder) {
    {
        VekDiagDevice device(kPath);
        device.OpenTimingLogChannel();
        device.OpenTextLogChannel();
    }
    const Lines requests = Requests();
    ASSERT_EQ(requests.size(), 7u);
    EXPECT_EQ(requests[4], "close VekDiagConfigure");
    EXPECT_EQ(requests[5], "close VekDiagTextLog");
    EXPECT_EQ(requests[6], "close VekDiagTimingLog");

    FakeDriver::Get().Reset();
    { VekDiagDevice nowhere("\\\\?\\NOTHING"); }  // nothing opened, nothing closed
}

}  // namespace
