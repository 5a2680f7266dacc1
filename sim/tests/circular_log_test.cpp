#include "sim/circular_log.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

namespace {

std::string TakeAll(CircularLog& log, size_t max) {
    std::string out(max, '\0');
    out.resize(log.Take(out.data(), max));
    return out;
}

TEST(CircularLog, FullLogOverwritesOldestAndReadsInOrderAcrossTheWrap) {
    CircularLog log(8);
    log.Append("abcdef");
    EXPECT_EQ(TakeAll(log, 4), "abcd");  // head now mid-buffer
    log.Append("ghijkl");                // wraps around the end: "efghijkl"
    EXPECT_EQ(log.size(), 8u);
    log.Append("mn");  // full: drops "ef"
    EXPECT_EQ(TakeAll(log, 3), "ghi");
    EXPECT_EQ(TakeAll(log, 100), "jklmn");
    EXPECT_EQ(TakeAll(log, 100), "");
}

TEST(CircularLog, AppendLargerThanCapacityKeepsTheNewestBytes) {
    CircularLog log(4);
    log.Append("xy");
    log.Append("0123456789");
    EXPECT_EQ(TakeAll(log, 100), "6789");
}

// Any mix of appends and takes reads as the last `capacity` bytes of a plain queue.
TEST(CircularLog, AgreesWithAQueueOverManySteps) {
    CircularLog log(37);
    std::deque<char> model;
    uint32_t seed = 7;
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int step = 0; step < 5000; ++step) {
        if (next() % 2 == 0) {
            std::string bytes(next() % 50, '\0');
            for (char& c : bytes) {
                c = static_cast<char>(next());
            }
            log.Append(bytes);
            model.insert(model.end(), bytes.begin(), bytes.end());
            while (model.size() > 37) {
                model.pop_front();
            }
        } else {
            const size_t max = next() % 40;
            const std::string got = TakeAll(log, max);
            const size_t n = std::min(max, model.size());
            ASSERT_EQ(got, std::string(model.begin(), model.begin() + static_cast<long>(n)));
            model.erase(model.begin(), model.begin() + static_cast<long>(n));
        }
        ASSERT_EQ(log.size(), model.size());
    }
}

}  // namespace
