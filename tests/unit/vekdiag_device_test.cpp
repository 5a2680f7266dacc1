#include "adapter/vekdiag_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/in_process_driver.h"

namespace {

using Lines = std::vector<std::string>;

const char PATH[] = "\\\\?\\ROOT#MEDIA#0000#{7f95af7c-f68a-4351-bb8e-268af28ea14c}";

class VekDiagDeviceTest : public ::testing::Test {
protected:
    Lines Requests() { return driver_.Requests(0); }
    // The options an earlier run left set in the driver, through a device of its own.
    void LeaveOptionsSet(std::initializer_list<uint32_t> flags) {
        VekDiagDevice earlier(PATH);
        for (const uint32_t flag : flags) {
            ASSERT_NE(earlier.SetStreamOption(flag, 1), 0);
        }
    }
    InProcessDriver driver_{{"--adapter", "3:1A2B"}};
};

TEST_F(VekDiagDeviceTest, ConstructionOpensConfigureAndAsksForIndexAndType) {
    const VekDiagDevice device(PATH);
    EXPECT_EQ(device.configurePath, std::string(PATH) + "\\VekDiagConfigure");
    EXPECT_EQ(device.textLogPath, std::string(PATH) + "\\VekDiagTextLog");
    EXPECT_EQ(device.timingLogPath, std::string(PATH) + "\\VekDiagTimingLog");
    EXPECT_EQ(device.adapterIndex, 3);
    EXPECT_EQ(device.adapterType, 0x1A2B);
    EXPECT_NE(device.configureHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(device.textLogHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(device.timingLogHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Requests(), (Lines{"open VekDiagConfigure access=0x10000000 share=0x0",
                                 "ioctl 0xC3516000 in=0x00000000 out=12"}));
}

TEST_F(VekDiagDeviceTest, WideAndNarrowPathsGiveTheSameChannels) {
    const std::wstring wide(PATH, PATH + sizeof PATH - 1);
    const VekDiagDevice fromWide(wide.c_str());
    EXPECT_EQ(fromWide.configurePath, std::string(PATH) + "\\VekDiagConfigure");
    EXPECT_EQ(fromWide.textLogPath, std::string(PATH) + "\\VekDiagTextLog");
    EXPECT_EQ(fromWide.timingLogPath, std::string(PATH) + "\\VekDiagTimingLog");
    EXPECT_EQ(fromWide.adapterType, 0x1A2B);
}

TEST_F(VekDiagDeviceTest, NarrowingNeverOverrunsAndReplacesWhatCannotBeShown) {
    EXPECT_EQ(NarrowInterfacePath(L""), "");
    EXPECT_EQ(NarrowInterfacePath(L"\\\\?\\A\x00E9Z"), "\\\\?\\A?Z");
    const std::wstring longPath(40000, L'x');
    EXPECT_EQ(NarrowInterfacePath(longPath.c_str()), std::string(40000, 'x'));
}

TEST_F(VekDiagDeviceTest, LogChannelsOpenOnceWithReadAccessAndNoSharing) {
    VekDiagDevice device(PATH);
    EXPECT_NE(device.OpenTextLogChannel(), 0);
    EXPECT_NE(device.OpenTextLogChannel(), 0);
    EXPECT_NE(device.OpenTimingLogChannel(), 0);
    const Lines requests = Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2], "open VekDiagTextLog access=0x80000000 share=0x0");
    EXPECT_EQ(requests[3], "open VekDiagTimingLog access=0x80000000 share=0x0");
}

TEST_F(VekDiagDeviceTest, FailedOpenIsRetriedAtTheNextCall) {
    driver_.Control({"fault", "0", "open-text"});
    VekDiagDevice device(PATH);
    EXPECT_EQ(device.OpenTextLogChannel(), 0);
    EXPECT_EQ(device.textLogHandle, INVALID_HANDLE_VALUE);
    driver_.Control({"fault", "0", "clear"});
    EXPECT_NE(device.OpenTextLogChannel(), 0);
    const Lines requests = Requests();
    EXPECT_EQ(requests[2], "open VekDiagTextLog access=0x80000000 share=0x0 -> error 5");
    EXPECT_EQ(requests[3], "open VekDiagTextLog access=0x80000000 share=0x0");
}

TEST_F(VekDiagDeviceTest, TimingOpenResetsTheCarryOnlyWhenItReallyOpens) {
    {
        VekDiagDevice device(PATH);
        device.timingChecker.carryCount = 9;
        ASSERT_NE(device.OpenTimingLogChannel(), 0);
        EXPECT_EQ(device.timingChecker.carryCount, 0);
        device.timingChecker.carryCount = 9;
        ASSERT_NE(device.OpenTimingLogChannel(), 0);  // already open: the stream goes on
        EXPECT_EQ(device.timingChecker.carryCount, 9);
    }

    driver_.Control({"fault", "0", "open-timing"});
    VekDiagDevice other(PATH);
    other.timingChecker.carryCount = 5;
    EXPECT_EQ(other.OpenTimingLogChannel(), 0);
    EXPECT_EQ(other.timingChecker.carryCount, 0);
    other.timingChecker.carryCount = 5;
    EXPECT_EQ(other.OpenTimingLogChannel(), 0);  // a retry is a fresh open again
    EXPECT_EQ(other.timingChecker.carryCount, 0);
}

TEST_F(VekDiagDeviceTest, UnopenableConfigureChannelLeavesEverythingClosed) {
    driver_.Control({"fault", "0", "open-configure"});
    VekDiagDevice device(PATH);
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
    LeaveOptionsSet({1, 2, 4, 8});
    driver_.Control({"fault", "0", "reject-query"});
    VekDiagDevice device(PATH);
    EXPECT_EQ(device.adapterIndex, 0);
    EXPECT_EQ(device.adapterType, 0);
    int succeeded = 1;
    EXPECT_EQ(device.GetStreamOptions(&succeeded), 0u);
    EXPECT_EQ(succeeded, 0);
}

TEST_F(VekDiagDeviceTest, SetRequestsCarryTheirWords) {
    LeaveOptionsSet({1, 4});
    const size_t earlier = Requests().size();
    VekDiagDevice device(PATH);
    EXPECT_NE(device.SetStreamOption(8, 0), 0);
    EXPECT_NE(device.SetLogLevel(65535), 0);
    EXPECT_NE(device.ClearCapabilityCache(), 0);
    EXPECT_EQ(device.GetStreamOptions(), 5u);
    const Lines all = Requests();
    const Lines requests(all.begin() + static_cast<std::ptrdiff_t>(earlier), all.end());
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[2], "ioctl 0xC3512004 in=0x00000002,0x00000008,0x00000000,0x00000000 out=0");
    EXPECT_EQ(requests[3], "ioctl 0xC3512004 in=0x00000000,0x0000FFFF,0x00000000,0x00000000 out=0");
    EXPECT_EQ(requests[4], "ioctl 0xC3512004 in=0x00000003,0x00000000,0x00000000,0x00000000 out=0");
    EXPECT_EQ(requests[5], "ioctl 0xC3516000 in=0x00000001 out=12");
    driver_.Control({"fault", "0", "reject-set"});
    EXPECT_EQ(device.SetStreamOption(1, 1), 0);
}

TEST_F(VekDiagDeviceTest, ReadLogBlockReportsCountAndSuccess) {
    VekDiagDevice device(PATH);
    uint8_t buffer[LOG_BLOCK_SIZE];
    uint32_t count = 77;
    EXPECT_EQ(device.ReadLogBlock(LogChannel::TextLog, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 0u);  // not open: nothing was sent
    EXPECT_EQ(device.ReadLogBlock(LogChannel::TextLog, buffer, sizeof buffer, nullptr), 0);
    EXPECT_EQ(Requests().size(), 2u);

    driver_.Control({"text", "0", "hix"});
    driver_.Control({"readsize", "0", "2"});
    ASSERT_NE(device.OpenTextLogChannel(), 0);
    EXPECT_NE(device.ReadLogBlock(LogChannel::TextLog, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 2u);
    driver_.Control({"fault", "0", "partial-read"});  // the next read fails, with its data
    EXPECT_EQ(device.ReadLogBlock(LogChannel::TextLog, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 1u);
    EXPECT_NE(device.ReadLogBlock(LogChannel::TextLog, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Requests().back(), "ioctl 0xC3516008 in=- out=4096");
}

TEST_F(VekDiagDeviceTest, ACountBeyondTheBufferIsNeverBelieved) {
    VekDiagDevice device(PATH);
    ASSERT_NE(device.OpenTimingLogChannel(), 0);
    driver_.Append(0, LogKind::Timing, std::vector<uint8_t>(64, 0xAA));
    driver_.Control({"fault", "0", "overcount"});  // a driver that says it sent more
    uint8_t buffer[16];
    uint32_t count = 0;
    device.ReadLogBlock(LogChannel::TimingLog, buffer, sizeof buffer, &count);
    EXPECT_EQ(count, 16u);
}

TEST_F(VekDiagDeviceTest, DestructionClosesWhatIsOpenInOrder) {
    {
        VekDiagDevice device(PATH);
        device.OpenTimingLogChannel();
        device.OpenTextLogChannel();
    }
    const Lines requests = Requests();
    ASSERT_EQ(requests.size(), 7u);
    EXPECT_EQ(requests[4], "close VekDiagConfigure");
    EXPECT_EQ(requests[5], "close VekDiagTextLog");
    EXPECT_EQ(requests[6], "close VekDiagTimingLog");

    { VekDiagDevice nowhere("\\\\?\\NOTHING"); }  // nothing opened, nothing closed
    EXPECT_EQ(Requests().size(), 7u);
}

}  // namespace
