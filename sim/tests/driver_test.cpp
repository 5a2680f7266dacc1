#include "sim/driver.h"

#include <gtest/gtest.h>

#include <cstring>

#include "sim/driver_abi.h"

namespace {

constexpr uint32_t kAll = drv::kGenericAll;
constexpr uint32_t kRead = drv::kGenericRead;

std::string Words(std::initializer_list<uint32_t> words) {
    std::string bytes;
    for (uint32_t word : words) {
        bytes.append(reinterpret_cast<const char*>(&word), sizeof word);
    }
    return bytes;
}

class DriverTest : public ::testing::Test {
protected:
    DriverTest() : driver_(ServeOptions{{{5, 0x1A2B}, {6, 0xBEEF}}, 16}) {}

    std::string Path(unsigned instance, const char* channel) {
        return InterfacePath(instance) + "\\" + channel;
    }
    OpenChannel MustOpen(const std::string& path, uint32_t access, uint32_t share = 0) {
        OpenChannel open;
        EXPECT_EQ(driver_.Open(path, access, share, &open), 0u) << path;
        return open;
    }
    ControlResult Run(const std::vector<std::string>& args) {
        std::string error;
        const auto command = ParseControlCommand(args, &error);
        EXPECT_TRUE(command) << error;
        return driver_.Execute(*command);
    }

    Driver driver_;
};

TEST_F(DriverTest, RequestLinesRecordEveryRequestThatReachesTheAdapter) {
    EXPECT_EQ(Path(0, "x"), R"(\\?\ROOT#MEDIA#0000#{7f95af7c-f68a-4351-bb8e-268af28ea14c}\x)");
    OpenChannel unused;
    // Not an adapter's channel: refused before any adapter sees it.
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagBogus"), kAll, 0, &unused), drv::kErrorFileNotFound);
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagConfigure\\"), kAll, 0, &unused),
              drv::kErrorFileNotFound);
    EXPECT_EQ(driver_.Open(Path(9, "VekDiagConfigure"), kAll, 0, &unused), drv::kErrorFileNotFound);

    std::string lower = Path(0, "vekdiagconfigure");
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const OpenChannel configure = MustOpen(lower, kAll, 3);
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagConfigure"), kRead, 0, &unused),
              drv::kErrorSharingViolation);
    driver_.Ioctl(configure, drv::kIoctlQuery, Words({1}), 12);
    driver_.Ioctl(configure, drv::kIoctlSet, Words({0, 4}) + "\x05\x06", 0);
    driver_.Ioctl(configure, drv::kIoctlReadLog, "", 4096);
    driver_.Close(configure);

    EXPECT_EQ(Run({"requests", "0"}).output,
              "open VekDiagConfigure access=0x10000000 share=0x3\n"
              "open VekDiagConfigure access=0x80000000 share=0x0 -> error 32\n"
              "ioctl 0xC3516000 in=0x00000001 out=12\n"
              "ioctl 0xC3512004 in=0x00000000,0x00000004,0x05,0x06 out=0 -> error 87\n"
              "ioctl 0xC3516008 in=- out=4096 -> error 1\n"
              "close VekDiagConfigure\n");
    EXPECT_EQ(Run({"requests", "1"}).output, "");
}

TEST_F(DriverTest, SharingFollowsBothShareModes) {
    OpenChannel second;
    const OpenChannel text = MustOpen(Path(0, "VekDiagTextLog"), kRead, drv::kShareRead);
    // Both read and both share read: they coexist; the timing channel is a separate file.
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagTextLog"), kRead, drv::kShareRead, &second), 0u);
    MustOpen(Path(0, "VekDiagTimingLog"), kRead);
    // Read-only sharing refuses anyone who asks for more.
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagTextLog"), kAll, 7, &second),
              drv::kErrorSharingViolation);
    driver_.Close(text);
    driver_.Close(second);
    MustOpen(Path(0, "VekDiagTextLog"), kAll);
}

TEST_F(DriverTest, QueryAndSet) {
    const OpenChannel configure = MustOpen(Path(1, "VekDiagConfigure"), kAll);
    IoctlResult info = driver_.Ioctl(configure, drv::kIoctlQuery, Words({0}), 64);
    ASSERT_EQ(info.error, 0u);
    ASSERT_EQ(info.output.size(), 12u);
    uint32_t words[3];
    std::memcpy(words, info.output.data(), sizeof words);
    EXPECT_EQ(words[1], 6u | 0xBEEFu << 16);
    EXPECT_EQ(words[2], 0u);

    EXPECT_EQ(driver_.Ioctl(configure, drv::kIoctlQuery, Words({0}), 11).error,
              drv::kErrorInsufficientBuffer);
    EXPECT_EQ(driver_.Ioctl(configure, drv::kIoctlQuery, Words({2}), 12).error,
              drv::kErrorInvalidParameter);
    for (const std::string& bad :
         {Words({2, 3, 1, 0}), Words({2, 4, 2, 0}), Words({1, 0, 0, 0}), Words({2, 4, 1})}) {
        EXPECT_EQ(driver_.Ioctl(configure, drv::kIoctlSet, bad, 0).error,
                  drv::kErrorInvalidParameter);
    }
    EXPECT_EQ(driver_.Ioctl(configure, drv::kIoctlSet, Words({2, 8, 1, 0}), 0).error, 0u);
    EXPECT_EQ(driver_.Ioctl(configure, drv::kIoctlSet, Words({2, 2, 1, 0}), 0).error, 0u);
    EXPECT_EQ(driver_.Ioctl(configure, drv::kIoctlSet, Words({2, 8, 0, 0}), 0).error, 0u);
    EXPECT_EQ(driver_.Ioctl(configure, drv::kIoctlSet, Words({0, 0xFFFFFFF0, 0, 0}), 0).error, 0u);
    EXPECT_EQ(driver_.Ioctl(configure, drv::kIoctlSet, Words({3, 0, 0, 0}), 0).error, 0u);
    const IoctlResult options = driver_.Ioctl(configure, drv::kIoctlQuery, Words({1}), 12);
    std::memcpy(words, options.output.data(), sizeof words);
    EXPECT_EQ(words[1], 2u);
    EXPECT_EQ(Run({"options", "1"}).output, "2\n");
    EXPECT_EQ(Run({"loglevel", "1"}).output, "4294967280\n");
    EXPECT_EQ(Run({"loglevel", "0"}).output, "none\n");
    EXPECT_EQ(Run({"clearcount", "1"}).output, "1\n");

    // Queries need read access on the handle; sets do not.
    const OpenChannel writeOnly = MustOpen(Path(0, "VekDiagConfigure"), drv::kGenericWrite);
    EXPECT_EQ(driver_.Ioctl(writeOnly, drv::kIoctlQuery, Words({0}), 12).error,
              drv::kErrorAccessDenied);
    EXPECT_EQ(driver_.Ioctl(writeOnly, drv::kIoctlSet, Words({3, 0, 0, 0}), 0).error, 0u);
}

TEST_F(DriverTest, ReadsServeTheLogAndFaultsBite) {
    const OpenChannel text = MustOpen(Path(0, "VekDiagTextLog"), kRead);
    Run({"text", "0", R"(0123456789\nabcdefghij)"});  // 21 bytes into a 16-byte log
    EXPECT_EQ(driver_.Ioctl(text, drv::kIoctlReadLog, "", 10).output, "56789\nabcd");
    Run({"fault", "0", "partial-read"});
    const IoctlResult partial = driver_.Ioctl(text, drv::kIoctlReadLog, "", 2);
    EXPECT_EQ(partial.error, drv::kErrorMoreData);
    EXPECT_EQ(partial.output, "ef");
    const IoctlResult rest = driver_.Ioctl(text, drv::kIoctlReadLog, "", 100);
    EXPECT_EQ(rest.error, 0u);
    EXPECT_EQ(rest.output, "ghij");
    EXPECT_EQ(driver_.Ioctl(text, drv::kIoctlReadLog, "", 100).output, "");
    EXPECT_EQ(Run({"served", "0", "text"}).output, "56789\nabcdefghij");

    Run({"fault", "0", "open-timing"});
    Run({"fault", "0", "reject-query"});
    OpenChannel refused;
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagTimingLog"), kRead, 0, &refused),
              drv::kErrorAccessDenied);
    const OpenChannel configure = MustOpen(Path(0, "VekDiagConfigure"), kAll);
    EXPECT_EQ(driver_.Ioctl(configure, drv::kIoctlQuery, Words({0}), 12).error,
              drv::kErrorGenFailure);
    Run({"fault", "0", "clear"});
    EXPECT_EQ(driver_.Ioctl(configure, drv::kIoctlQuery, Words({0}), 12).error, 0u);
    MustOpen(Path(0, "VekDiagTimingLog"), kRead);
}

class RecordingSink : public EventSink {
public:
    void Post(const InterfaceEvent& event) override { events.push_back(event); }
    std::vector<InterfaceEvent> events;
};

TEST_F(DriverTest, HotPlugRenumbersPositionsAndNeverReusesInstances) {
    RecordingSink sink;
    driver_.Subscribe(&sink);
    const OpenChannel configure = MustOpen(Path(0, "VekDiagConfigure"), kAll);
    EXPECT_EQ(Run({"remove", "0"}).status, 0);
    EXPECT_EQ(driver_.Ioctl(configure, drv::kIoctlQuery, Words({0}), 12).error,
              drv::kErrorDeviceRemoved);
    OpenChannel unused;
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagTextLog"), kRead, 0, &unused), drv::kErrorFileNotFound);
    EXPECT_EQ(Run({"add", "9:1"}).output, InterfacePath(2) + "\n");
    // Position 0 is now the second original adapter (instance 1).
    EXPECT_EQ(Run({"options", "2"}).status, 1);
    const std::vector<InterfaceEntry> all = driver_.Interfaces();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_FALSE(all[0].present);
    ASSERT_EQ(sink.events.size(), 2u);
    EXPECT_EQ(sink.events[0].action, 1u);
    EXPECT_EQ(sink.events[0].path, InterfacePath(0));
    EXPECT_EQ(sink.events[1].action, 0u);
    EXPECT_EQ(sink.events[1].path, InterfacePath(2));
    driver_.Unsubscribe(&sink);
}

}  // namespace
