#include "sim/driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "framing/timing_log_checker.h"
#include "sim/driver_abi.h"
#include "sim/served_record.h"
#include "sim/stream_writer.h"
#include "tests/support/private_folder.h"
#include "tests/support/simulator.h"

namespace {

constexpr uint32_t ALL = drv::ACCESS_GENERIC_ALL;
constexpr uint32_t READ = drv::ACCESS_GENERIC_READ;

std::string Words(std::initializer_list<uint32_t> words) {
    std::string bytes;
    for (uint32_t word : words) {
        bytes.append(reinterpret_cast<const char*>(&word), sizeof word);
    }
    return bytes;
}

// A folder of its own for one test's records, removed afterwards.
struct TempFolder {
    TempFolder() : path(folder.path()), served(ServedFolder(path)) {
        std::filesystem::create_directory(served);
    }
    const PrivateFolder folder;
    const std::filesystem::path path;
    const std::filesystem::path served;  // the records, as a server in this root keeps them
};

std::vector<InterfaceEntry> Listed(const Driver& driver) {
    std::vector<InterfaceEntry> entries;
    EXPECT_EQ(driver.Interfaces(&entries), 0u);
    return entries;
}

ControlResult RunOn(Driver& driver, const std::vector<std::string>& args) {
    std::string error;
    const auto command = ParseControlCommand(args, &error);
    EXPECT_TRUE(command) << error;
    return command ? driver.Execute(*command) : ControlResult{};
}

class DriverTest : public ::testing::Test {
protected:
    DriverTest() : driver_(ServeOptions{{{5, 0x1A2B}, {6, 0xBEEF}}, 16}, records_.served) {}

    std::string Path(unsigned instance, const char* channel) {
        return InterfacePath(instance) + "\\" + channel;
    }
    OpenChannel MustOpen(const std::string& path, uint32_t access, uint32_t share = 0) {
        OpenChannel open;
        EXPECT_EQ(driver_.Open(path, access, share, &open), 0u) << path;
        return open;
    }
    ControlResult Run(const std::vector<std::string>& args) { return RunOn(driver_, args); }

    TempFolder records_;
    Driver driver_;
};

TEST_F(DriverTest, RequestLinesRecordEveryRequestThatReachesTheAdapter) {
    EXPECT_EQ(Path(0, "x"), R"(\\?\ROOT#MEDIA#0000#{7f95af7c-f68a-4351-bb8e-268af28ea14c}\x)");
    OpenChannel unused;
    // Not an adapter's channel: refused before any adapter sees it.
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagBogus"), ALL, 0, &unused), drv::ERR_FILE_NOT_FOUND);
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagConfigure\\"), ALL, 0, &unused),
              drv::ERR_FILE_NOT_FOUND);
    EXPECT_EQ(driver_.Open(Path(9, "VekDiagConfigure"), ALL, 0, &unused), drv::ERR_FILE_NOT_FOUND);

    std::string lower = Path(0, "vekdiagconfigure");
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const OpenChannel configure = MustOpen(lower, ALL, 3);
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagConfigure"), READ, 0, &unused),
              drv::ERR_SHARING_VIOLATION);
    driver_.Ioctl(configure, drv::IOCTL_QUERY, Words({1}), 12);
    driver_.Ioctl(configure, drv::IOCTL_SET, Words({0, 4}) + "\x05\x06", 0);
    driver_.Ioctl(configure, drv::IOCTL_READ_LOG, "", 4096);
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
    const OpenChannel text = MustOpen(Path(0, "VekDiagTextLog"), READ, drv::SHARE_READ);
    // Both read and both share read: they coexist; the timing channel is a separate file.
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagTextLog"), READ, drv::SHARE_READ, &second), 0u);
    MustOpen(Path(0, "VekDiagTimingLog"), READ);
    // Read-only sharing refuses anyone who asks for more.
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagTextLog"), ALL, 7, &second), drv::ERR_SHARING_VIOLATION);
    driver_.Close(text);
    driver_.Close(second);
    MustOpen(Path(0, "VekDiagTextLog"), ALL);
}

TEST_F(DriverTest, QueryAndSet) {
    const OpenChannel configure = MustOpen(Path(1, "VekDiagConfigure"), ALL);
    IoctlResult info = driver_.Ioctl(configure, drv::IOCTL_QUERY, Words({0}), 64);
    ASSERT_EQ(info.error, 0u);
    ASSERT_EQ(info.output.size(), 12u);
    uint32_t words[3];
    std::memcpy(words, info.output.data(), sizeof words);
    EXPECT_EQ(words[1], 6u | 0xBEEFu << 16);
    EXPECT_EQ(words[2], 0u);

    EXPECT_EQ(driver_.Ioctl(configure, drv::IOCTL_QUERY, Words({0}), 11).error,
              drv::ERR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(driver_.Ioctl(configure, drv::IOCTL_QUERY, Words({2}), 12).error,
              drv::ERR_INVALID_PARAMETER);
    for (const std::string& bad :
         {Words({2, 3, 1, 0}), Words({2, 4, 2, 0}), Words({1, 0, 0, 0}), Words({2, 4, 1})}) {
        EXPECT_EQ(driver_.Ioctl(configure, drv::IOCTL_SET, bad, 0).error,
                  drv::ERR_INVALID_PARAMETER);
    }
    EXPECT_EQ(driver_.Ioctl(configure, drv::IOCTL_SET, Words({2, 8, 1, 0}), 0).error, 0u);
    EXPECT_EQ(driver_.Ioctl(configure, drv::IOCTL_SET, Words({2, 2, 1, 0}), 0).error, 0u);
    EXPECT_EQ(driver_.Ioctl(configure, drv::IOCTL_SET, Words({2, 8, 0, 0}), 0).error, 0u);
    EXPECT_EQ(driver_.Ioctl(configure, drv::IOCTL_SET, Words({0, 0xFFFFFFF0, 0, 0}), 0).error, 0u);
    EXPECT_EQ(driver_.Ioctl(configure, drv::IOCTL_SET, Words({3, 0, 0, 0}), 0).error, 0u);
    const IoctlResult options = driver_.Ioctl(configure, drv::IOCTL_QUERY, Words({1}), 12);
    std::memcpy(words, options.output.data(), sizeof words);
    EXPECT_EQ(words[1], 2u);
    EXPECT_EQ(Run({"options", "1"}).output, "2\n");
    EXPECT_EQ(Run({"loglevel", "1"}).output, "4294967280\n");
    EXPECT_EQ(Run({"loglevel", "0"}).output, "none\n");
    EXPECT_EQ(Run({"clearcount", "1"}).output, "1\n");

    // Queries need read access on the handle; sets do not.
    const OpenChannel writeOnly = MustOpen(Path(0, "VekDiagConfigure"), drv::ACCESS_GENERIC_WRITE);
    EXPECT_EQ(driver_.Ioctl(writeOnly, drv::IOCTL_QUERY, Words({0}), 12).error,
              drv::ERR_ACCESS_DENIED);
    EXPECT_EQ(driver_.Ioctl(writeOnly, drv::IOCTL_SET, Words({3, 0, 0, 0}), 0).error, 0u);
}

TEST_F(DriverTest, ReadsServeTheLogAndFaultsBite) {
    const OpenChannel text = MustOpen(Path(0, "VekDiagTextLog"), READ);
    Run({"text", "0", R"(0123456789\nabcdefghij)"});  // 21 bytes into a 16-byte log
    EXPECT_EQ(driver_.Ioctl(text, drv::IOCTL_READ_LOG, "", 10).output, "56789\nabcd");
    Run({"fault", "0", "partial-read"});
    const IoctlResult partial = driver_.Ioctl(text, drv::IOCTL_READ_LOG, "", 2);
    EXPECT_EQ(partial.error, drv::ERR_MORE_DATA);
    EXPECT_EQ(partial.output, "ef");
    const IoctlResult rest = driver_.Ioctl(text, drv::IOCTL_READ_LOG, "", 100);
    EXPECT_EQ(rest.error, 0u);
    EXPECT_EQ(rest.output, "ghij");
    EXPECT_EQ(driver_.Ioctl(text, drv::IOCTL_READ_LOG, "", 100).output, "");
    EXPECT_EQ(Run({"served", "0", "text"}).output, "56789\nabcdefghij");

    Run({"fault", "0", "open-timing"});
    Run({"fault", "0", "reject-query"});
    OpenChannel refused;
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagTimingLog"), READ, 0, &refused), drv::ERR_ACCESS_DENIED);
    const OpenChannel configure = MustOpen(Path(0, "VekDiagConfigure"), ALL);
    EXPECT_EQ(driver_.Ioctl(configure, drv::IOCTL_QUERY, Words({0}), 12).error,
              drv::ERR_GEN_FAILURE);
    Run({"fault", "0", "clear"});
    EXPECT_EQ(driver_.Ioctl(configure, drv::IOCTL_QUERY, Words({0}), 12).error, 0u);
    MustOpen(Path(0, "VekDiagTimingLog"), READ);
}

class RecordingSink : public EventSink {
public:
    void Post(const InterfaceEvent& event) override { events.push_back(event); }
    std::vector<InterfaceEvent> events;
};

TEST_F(DriverTest, HotPlugRenumbersPositionsAndNeverReusesInstances) {
    RecordingSink sink;
    driver_.Subscribe(&sink);
    const OpenChannel configure = MustOpen(Path(0, "VekDiagConfigure"), ALL);
    EXPECT_EQ(Run({"remove", "0"}).status, 0);
    EXPECT_EQ(driver_.Ioctl(configure, drv::IOCTL_QUERY, Words({0}), 12).error,
              drv::ERR_DEVICE_REMOVED);
    OpenChannel unused;
    EXPECT_EQ(driver_.Open(Path(0, "VekDiagTextLog"), READ, 0, &unused), drv::ERR_FILE_NOT_FOUND);
    EXPECT_EQ(Run({"add", "9:1"}).output, InterfacePath(2) + "\n");
    // Position 0 is now the second original adapter (instance 1).
    EXPECT_EQ(Run({"options", "2"}).status, 1);
    const std::vector<InterfaceEntry> all = Listed(driver_);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_FALSE(all[0].present);
    ASSERT_EQ(sink.events.size(), 2u);
    EXPECT_EQ(sink.events[0].action, 1u);
    EXPECT_EQ(sink.events[0].path, InterfacePath(0));
    EXPECT_EQ(sink.events[1].action, 0u);
    EXPECT_EQ(sink.events[1].path, InterfacePath(2));
    driver_.Unsubscribe(&sink);
}

std::string ChannelOf(unsigned instance, const char* channel) {
    return InterfacePath(instance) + "\\" + channel;
}

TEST(DriverReads, ReadSizesLimitEveryReadAndTheRecordListsEachOne) {
    TempFolder root;
    Driver driver(ServeOptions{{{0, 1}}, 1 << 20}, root.served);
    RunOn(driver, {"fill", "0", "text", "500000"});
    OpenChannel text;
    ASSERT_EQ(driver.Open(ChannelOf(0, "VekDiagTextLog"), READ, 0, &text), 0u);
    std::string received;
    std::string blocks;
    auto read = [&](uint32_t capacity) {
        const IoctlResult result = driver.Ioctl(text, drv::IOCTL_READ_LOG, "", capacity);
        received += result.output;
        blocks += std::to_string(result.output.size()) + "\n";
        return result.output.size();
    };
    RunOn(driver, {"readsize", "0", "7"});
    EXPECT_EQ(read(4096), 7u);
    EXPECT_EQ(read(5), 5u);  // the caller's buffer still bounds the read
    std::vector<size_t> sizes[2];
    for (std::vector<size_t>& sequence : sizes) {
        RunOn(driver, {"readsize", "0", "random", "42"});
        for (int i = 0; i < 100; ++i) {
            sequence.push_back(read(4096));
        }
    }
    EXPECT_EQ(sizes[0], sizes[1]);  // the same seed, the same sizes
    EXPECT_GE(*std::min_element(sizes[0].begin(), sizes[0].end()), 1u);
    EXPECT_LE(*std::max_element(sizes[0].begin(), sizes[0].end()), 4096u);
    EXPECT_GT(std::set<size_t>(sizes[0].begin(), sizes[0].end()).size(), 90u);
    RunOn(driver, {"readsize", "0", "full"});
    while (read(4096) == 4096) {
    }
    EXPECT_EQ(read(4096), 0u);
    EXPECT_EQ(received.size(), 500000u);
    EXPECT_TRUE(RunOn(driver, {"served", "0", "text"}).output == received);
    EXPECT_EQ(RunOn(driver, {"served", "0", "text", "--blocks"}).output, blocks);
}

TEST_F(DriverTest, FailReadFailsOnceWithoutBytes) {
    const OpenChannel text = MustOpen(Path(0, "VekDiagTextLog"), READ);
    Run({"text", "0", "abc"});
    Run({"fault", "0", "fail-read"});
    const IoctlResult failed = driver_.Ioctl(text, drv::IOCTL_READ_LOG, "", 100);
    EXPECT_EQ(failed.error, drv::ERR_GEN_FAILURE);
    EXPECT_EQ(failed.output, "");
    const IoctlResult next = driver_.Ioctl(text, drv::IOCTL_READ_LOG, "", 100);
    EXPECT_EQ(next.error, 0u);
    EXPECT_EQ(next.output, "abc");
    EXPECT_EQ(Run({"served", "0", "text", "--blocks"}).output, "0\n3\n");
}

// A driver that miscounts: the bytes stay within the buffer, the count does not.
TEST_F(DriverTest, OvercountReportsMoreThanTheBufferHoldsOnce) {
    const OpenChannel text = MustOpen(Path(0, "VekDiagTextLog"), READ);
    Run({"text", "0", "abcdef"});
    Run({"fault", "0", "overcount"});
    const IoctlResult miscounted = driver_.Ioctl(text, drv::IOCTL_READ_LOG, "", 4);
    EXPECT_EQ(miscounted.error, 0u);
    EXPECT_EQ(miscounted.output, "abcd");
    EXPECT_EQ(miscounted.output.size() + miscounted.overcount, 5u);
    const IoctlResult next = driver_.Ioctl(text, drv::IOCTL_READ_LOG, "", 4);
    EXPECT_EQ(next.output, "ef");
    EXPECT_EQ(next.overcount, 0u);
    EXPECT_EQ(Run({"served", "0", "text", "--blocks"}).output, "4\n2\n");
}

TEST_F(DriverTest, PlugAndPlayFaultsFailTheListingAndRefuseRegistrations) {
    RecordingSink refused;
    Run({"pnp", "fail-enumeration"});
    Run({"pnp", "refuse-registration"});
    std::vector<InterfaceEntry> entries = {{"stale", true}};
    EXPECT_EQ(driver_.Interfaces(&entries), drv::ERR_GEN_FAILURE);
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(driver_.Subscribe(&refused));
    EXPECT_EQ(Run({"subscribers"}).output, "0\n");
    Run({"add", "7:1"});
    EXPECT_TRUE(refused.events.empty());
    Run({"pnp", "clear"});
    EXPECT_EQ(Listed(driver_).size(), 3u);
    ASSERT_TRUE(driver_.Subscribe(&refused));
    driver_.Unsubscribe(&refused);
}

TEST_F(DriverTest, RawBytesFromHexOrAFileAreAppendedExactly) {
    const std::filesystem::path file = records_.path / "raw.bin";
    const std::string fileBytes("\x00\xFF\xA0", 3);
    std::ofstream(file, std::ios::binary) << fileBytes;
    Run({"raw", "1", "timing", "a0F5", "00"});
    Run({"raw", "1", "timing", "--file", file.string()});
    const OpenChannel timing = MustOpen(Path(1, "VekDiagTimingLog"), READ);
    EXPECT_EQ(driver_.Ioctl(timing, drv::IOCTL_READ_LOG, "", 100).output,
              std::string("\xA0\xF5\x00", 3) + fileBytes);
    const ControlResult missing = Run({"raw", "1", "text", "--file", "/no/such/file"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.message.rfind("cannot read /no/such/file: ", 0), 0u) << missing.message;
}

TEST(DriverRecords, OutliveTheAdapterAndTheDriverAndNoInstanceIsUsedTwice) {
    TempFolder root;
    std::string served;
    {
        Driver first(ServeOptions{{{0, 1}, {1, 1}}, 1000}, root.served);
        RunOn(first, {"text", "1", "kept"});
        OpenChannel text;
        ASSERT_EQ(first.Open(ChannelOf(1, "VekDiagTextLog"), READ, 0, &text), 0u);
        served = first.Ioctl(text, drv::IOCTL_READ_LOG, "", 3).output;
        RunOn(first, {"remove", "1"});
        EXPECT_EQ(RunOn(first, {"served", "1", "text"}).status, 1);  // no such position now
    }
    Driver second(ServeOptions{{{0, 1}}, 1000}, root.served);
    EXPECT_EQ(Listed(second).at(0).path, InterfacePath(2));
    EXPECT_EQ(RunOn(second, {"instance", "0"}).output, "2\n");
    EXPECT_EQ(RunOn(second, {"add", "0:1"}).output, InterfacePath(3) + "\n");
    EXPECT_EQ(served, "kep");
    const std::string root0 = root.path.string();
    EXPECT_EQ(RunOn(second, {"served", "--record", root0, "1", "text"}).output, "kep");
    EXPECT_EQ(RunOn(second, {"served", "--record", root0, "1", "text", "--blocks"}).output, "3\n");
    EXPECT_EQ(RunOn(second, {"served", "--record", root0, "0", "timing"}).output, "");
    EXPECT_EQ(RunOn(second, {"served", "--record", root0, "9", "timing"}).status, 1);
}

// While a slow adapter keeps a request waiting, the other adapters and the control
// commands answer: seen by the request still waiting when they have.
TEST_F(DriverTest, SlowAdapterAnswersLateWithoutHoldingUpTheOthers) {
    const OpenChannel other = MustOpen(Path(1, "VekDiagConfigure"), ALL);
    Run({"delay", "0", "3000"});
    EXPECT_EQ(Run({"waiting", "0"}).output, "0\n");
    std::thread slow([&] {
        OpenChannel configure;
        EXPECT_EQ(driver_.Open(Path(0, "VekDiagConfigure"), ALL, 0, &configure), 0u);
    });
    ASSERT_TRUE(WaitFor([&] { return Run({"waiting", "0"}).output == "1\n"; }));
    EXPECT_EQ(driver_.Ioctl(other, drv::IOCTL_QUERY, Words({0}), 12).error, 0u);
    EXPECT_EQ(Run({"options", "1"}).status, 0);
    EXPECT_EQ(Run({"waiting", "0"}).output, "1\n");
    slow.join();
    EXPECT_EQ(Run({"waiting", "0"}).output, "0\n");
}

TEST_F(DriverTest, AdapterWithAPathOfItsOwn) {
    const std::string path = "\\\\?\\custom \xC3\xA9 path";
    EXPECT_EQ(Run({"add", "3:1", "--path", path}).output, path + "\n");
    EXPECT_EQ(Listed(driver_).back().path, path);
    MustOpen(path + "\\VekDiagTimingLog", READ);
    EXPECT_EQ(Run({"add", "4:1", "--path", "\\\\?\\CUSTOM \xC3\xA9 PATH"}).status, 1);
    EXPECT_EQ(Run({"instance", "2"}).output, "2\n");
}

// The records of a timing stream: where each starts (its sync word) and whether its
// length byte is out of range. Only the generator's streams: no sync pair inside records.
std::vector<bool> BadLengths(const std::string& stream) {
    std::vector<bool> bad;
    for (size_t at = 0; at + 13 < stream.size(); ++at) {
        if (static_cast<uint8_t>(stream[at]) == 0xA0 &&
            static_cast<uint8_t>(stream[at + 1]) == 0xF5) {
            bad.push_back(static_cast<uint8_t>(stream[at + 13]) > 12);
        }
    }
    return bad;
}

// A writer never runs ahead of its rate; how fast it gets is the machine's business.
TEST(DriverStreams, WriterKeepsItsRateAndCorruptsEveryKthRecord) {
    TempFolder root;
    Driver driver(ServeOptions{{{0, 1}}, 64 << 20}, root.served);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunOn(driver, {"stream", "0", "timing", "2000000", "--corrupt-every", "50"}).status,
              0);
    // Enough records for the corruption to show, however slowly they come.
    ASSERT_TRUE(WaitFor([&] {
        return std::stoull(RunOn(driver, {"stream", "0", "timing", "written"}).output) >= 60000;
    }));
    const uint64_t written = std::stoull(RunOn(driver, {"stream", "0", "timing", "stop"}).output);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(written, 2000000 * seconds + StreamWriter::STEP_BYTES);
    EXPECT_EQ(RunOn(driver, {"stream", "0", "timing", "stop"}).status, 1);  // none running

    OpenChannel timing;
    ASSERT_EQ(driver.Open(ChannelOf(0, "VekDiagTimingLog"), READ, 0, &timing), 0u);
    std::string stream;
    TimingLogChecker checker;
    int errors = 0;
    for (IoctlResult block;
         !(block = driver.Ioctl(timing, drv::IOCTL_READ_LOG, "", 4096)).output.empty();) {
        stream += block.output;
        errors += checker.CheckBlock(reinterpret_cast<const uint8_t*>(block.output.data()),
                                     static_cast<int32_t>(block.output.size()));
    }
    ASSERT_EQ(stream.size(), written);
    const std::vector<bool> bad = BadLengths(stream);
    ASSERT_GT(bad.size(), 1000u);
    for (size_t k = 0; k < bad.size(); ++k) {
        ASSERT_EQ(bad[k], (k + 1) % 50 == 0) << "record " << k;
    }
    EXPECT_EQ(errors, static_cast<int>(bad.size() / 50));
}

// How fast a flood comes is a benchmark figure; here it need only go on, and a writer left
// running ends with the driver.
TEST(DriverStreams, WriterFloodsUntilStopped) {
    TempFolder root;
    Driver driver(ServeOptions{{{0, 1}}, 1 << 20}, root.served);
    for (const char* log : {"text", "timing"}) {
        RunOn(driver, {"stream", "0", log, "1000000000"});
        ASSERT_TRUE(WaitFor([&] {
            return std::stoull(RunOn(driver, {"stream", "0", log, "written"}).output) > (2 << 20);
        })) << log;
        EXPECT_GT(std::stoull(RunOn(driver, {"stream", "0", log, "stop"}).output), 2u << 20);
    }
    // A writer left running ends with the driver.
    RunOn(driver, {"stream", "0", "text", "1000"});
}

}  // namespace
