// CreateFileA and DeviceIoControl of the platform layer against a running simulator.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/win32.h"
#include "tests/support/simulator.h"

namespace {

constexpr DWORD QUERY = 0xC3516000;
constexpr DWORD READ_LOG = 0xC3516008;

std::string ChannelPath(int instance, const char* channel) {
    char path[128];
    std::snprintf(path, sizeof path,
                  R"(\\?\ROOT#MEDIA#%04d#{7f95af7c-f68a-4351-bb8e-268af28ea14c}\%s)", instance,
                  channel);
    return path;
}

HANDLE Open(const std::string& path, DWORD access = GENERIC_READ, DWORD share = 0) {
    return CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

// A read of up to capacity bytes; *error is 0 on success.
std::string Read(HANDLE channel, DWORD capacity, DWORD* error) {
    std::string out(capacity, '\0');
    DWORD returned = 0xDEAD;
    *error =
        DeviceIoControl(channel, READ_LOG, nullptr, 0, out.data(), capacity, &returned, nullptr)
            ? 0
            : GetLastError();
    out.resize(returned);
    return out;
}

uint32_t QueryWord(HANDLE configure, uint32_t selector) {
    uint32_t reply[3] = {};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(configure, QUERY, &selector, sizeof selector, reply, sizeof reply,
                                &returned, nullptr));
    EXPECT_EQ(returned, 12u);
    return reply[1];
}

TEST(Channel, SharingAndCloseTakeEffectBeforeTheCallsReturn) {
    Simulator server({"--adapter", "4:00C1"});
    const std::string path = ChannelPath(0, "VekDiagConfigure");
    HANDLE configure = Open(path, GENERIC_ALL);
    ASSERT_NE(configure, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(QueryWord(configure, 0), 4u | 0xC1u << 16);
    EXPECT_EQ(Open(path, GENERIC_ALL), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    ASSERT_TRUE(CloseHandle(configure));
    // No wait: the close is on record and the channel free once CloseHandle returns.
    EXPECT_EQ(server.Control({"requests", "0"}),
              "open VekDiagConfigure access=0x10000000 share=0x0\n"
              "ioctl 0xC3516000 in=0x00000000 out=12\n"
              "open VekDiagConfigure access=0x10000000 share=0x0 -> error 32\n"
              "close VekDiagConfigure\n");
    configure = Open(path, GENERIC_ALL);
    ASSERT_NE(configure, INVALID_HANDLE_VALUE);
    CloseHandle(configure);
}

TEST(Channel, ArgumentAndHandleRules) {
    Simulator server;
    EXPECT_EQ(CreateFileA(ChannelPath(0, "VekDiagTextLog").c_str(), GENERIC_READ, 0, nullptr, 1, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Open(ChannelPath(1, "VekDiagTextLog")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(server.Control({"requests", "0"}), "");  // neither reached the adapter

    HANDLE text = Open(ChannelPath(0, "VekDiagTextLog"));
    ASSERT_NE(text, INVALID_HANDLE_VALUE);
    char buffer[16];
    EXPECT_FALSE(DeviceIoControl(text, READ_LOG, nullptr, 0, buffer, 16, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    DWORD returned = 0xDEAD;
    EXPECT_FALSE(DeviceIoControl(text, QUERY, nullptr, 0, buffer, 16, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(returned, 0u);

    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(DeviceIoControl(event, READ_LOG, nullptr, 0, buffer, 16, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(event);
    CloseHandle(text);
    EXPECT_FALSE(DeviceIoControl(text, READ_LOG, nullptr, 0, buffer, 16, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Channel, PartialReadReportsItsBytesWithMoreData) {
    Simulator server;
    HANDLE text = Open(ChannelPath(0, "VekDiagTextLog"));
    server.Control({"text", "0", "hello", "world"});
    server.Control({"fault", "0", "partial-read"});
    DWORD error = 0;
    EXPECT_EQ(Read(text, 5, &error), "hello");
    EXPECT_EQ(error, ERROR_MORE_DATA);
    EXPECT_EQ(Read(text, 4096, &error), " world");
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(Read(text, 4096, &error), "");
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(server.Control({"served", "0", "text"}), "hello world");
    CloseHandle(text);
}

// The count a driver reports is passed on as it is, the bytes never beyond the buffer.
TEST(Channel, OvercountIsReportedAndTheBufferKeptTo) {
    Simulator server;
    HANDLE text = Open(ChannelPath(0, "VekDiagTextLog"));
    server.Control({"text", "0", "abcdefgh"});
    server.Control({"fault", "0", "overcount"});
    char buffer[8] = {};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(text, READ_LOG, nullptr, 0, buffer, 4, &returned, nullptr));
    EXPECT_EQ(returned, 5u);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string("abcd\0\0\0\0", 8));
    CloseHandle(text);
}

TEST(Channel, RemovedAdapterThenDeadServer) {
    Simulator server({"--adapter", "0:1", "--adapter", "1:1"});
    HANDLE first = Open(ChannelPath(0, "VekDiagTextLog"));
    HANDLE second = Open(ChannelPath(1, "VekDiagTextLog"));
    server.Control({"remove", "0"});
    DWORD error = 0;
    Read(first, 64, &error);
    EXPECT_EQ(error, ERROR_DEVICE_REMOVED);
    EXPECT_EQ(Open(ChannelPath(0, "VekDiagConfigure"), GENERIC_ALL), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    server.Kill();
    // Still here: a dead peer is an error code, never SIGPIPE.
    for (int i = 0; i < 3; ++i) {
        Read(second, 64, &error);
        EXPECT_EQ(error, ERROR_DEVICE_NOT_CONNECTED);
    }
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(Open(ChannelPath(1, "VekDiagTextLog")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Channel, OneHandleSharedByThreadsKeepsRequestsApart) {
    Simulator server({"--adapter", "3:7"});
    HANDLE configure = Open(ChannelPath(0, "VekDiagConfigure"), GENERIC_ALL);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const uint32_t expected = t % 2 == 0 ? (3u | 7u << 16) : 0u;
                if (QueryWord(configure, t % 2) != expected) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, 0);
    CloseHandle(configure);
}

// 16 MiB in 4096-byte requests arrive whole and in order; how fast is a benchmark's
// question, never a test's.
TEST(Channel, ReadsSixteenMebibytesAsServed) {
    constexpr size_t TOTAL = 16u << 20;
    Simulator server({"--log-size", std::to_string(TOTAL)});
    server.Control({"fill", "0", "timing", std::to_string(TOTAL)});
    HANDLE timing = Open(ChannelPath(0, "VekDiagTimingLog"));
    std::string received;
    received.reserve(TOTAL);
    char block[4096];
    for (DWORD returned = 1; returned != 0;) {
        ASSERT_TRUE(
            DeviceIoControl(timing, READ_LOG, nullptr, 0, block, sizeof block, &returned, nullptr));
        received.append(block, returned);
    }
    ASSERT_EQ(received.size(), TOTAL);
    EXPECT_TRUE(received == server.Control({"served", "0", "timing"}));
    CloseHandle(timing);
}

// What a client received, read by read, is what the record says after the simulator
// was killed: the bytes and the length of every read, the failed one included.
TEST(Channel, ServedRecordSurvivesAKill) {
    Simulator server({"--log-size", "1000000"});
    server.Control({"fill", "0", "timing", "300000"});
    server.Control({"readsize", "0", "random", "9"});
    const std::string instance = server.Control({"instance", "0"});
    HANDLE timing = Open(ChannelPath(0, "VekDiagTimingLog"));
    std::string received;
    std::string lengths;
    DWORD error = 0;
    for (int i = 0; i < 60; ++i) {
        if (i == 30) {
            server.Control({"fault", "0", "fail-read"});
        }
        const std::string block = Read(timing, 4096, &error);
        EXPECT_EQ(error, i == 30 ? ERROR_GEN_FAILURE : 0u);
        EXPECT_EQ(block.empty(), i == 30);
        received += block;
        lengths += std::to_string(block.size()) + "\n";
    }
    server.Kill();
    CloseHandle(timing);
    EXPECT_EQ(instance, "0\n");
    const ProcessResult bytes =
        server.TryControl({"served", "--record", server.root, "0", "timing"});
    EXPECT_EQ(bytes.status, 0);
    EXPECT_TRUE(bytes.out == received);
    EXPECT_EQ(server.TryControl({"served", "--record", server.root, "0", "timing", "--blocks"}).out,
              lengths);
    EXPECT_EQ(server.TryControl({"served", "0", "timing"}).status, 1);  // that one needs a server
}

TEST(Channel, NoServerMeansNoDevice) {
    Simulator none{Simulator::NoServer{}};
    EXPECT_EQ(Open(ChannelPath(0, "VekDiagTextLog")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(none.TryControl({"options", "0"}).status, 1);
    EXPECT_EQ(none.TryControl({"options"}).status, 2);
}

}  // namespace
