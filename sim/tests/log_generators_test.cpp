#include "sim/log_generators.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "framing/timing_log_checker.h"

namespace {

std::string Collect(const std::function<void(const ByteSink&)>& generate) {
    std::string out;
    generate([&](std::string_view bytes) { out.append(bytes); });
    return out;
}

// The program's own checker, fed in read-sized blocks as the program does.
int CheckerErrors(const std::string& stream) {
    TimingLogChecker checker;
    int errors = 0;
    for (size_t at = 0; at < stream.size(); at += 4096) {
        const std::string block = stream.substr(at, 4096);
        errors += checker.CheckBlock(reinterpret_cast<const uint8_t*>(block.data()),
                                     static_cast<int32_t>(block.size()));
    }
    return errors;
}

TEST(TimingGenerator, EachCorruptRecordCostsTheCheckerExactlyOneError) {
    for (const auto& sizes : std::vector<std::pair<uint64_t, uint64_t>>{
             {1000, 0}, {1000, 1}, {1000, 7}, {13, 13}, {1, 1}, {50000, 333}}) {
        const uint64_t count = sizes.first;
        const uint64_t corrupt = sizes.second;
        TimingGenerator generator(count + corrupt);
        const std::string stream =
            Collect([&](const ByteSink& sink) { generator.Records(count, corrupt, sink); });
        EXPECT_EQ(CheckerErrors(stream), static_cast<int>(corrupt)) << count << "/" << corrupt;
    }
}

TEST(TimingGenerator, SyncPairsOnlyAtRecordStartsAndEveryLengthOccurs) {
    TimingGenerator generator(3);
    const std::string s = Collect([&](const ByteSink& sink) { generator.Records(20000, 0, sink); });
    std::set<size_t> starts;
    std::set<int> lengths;
    for (size_t at = 0; at + 14 <= s.size(); at += 14 + static_cast<uint8_t>(s[at + 13])) {
        starts.insert(at);
        lengths.insert(static_cast<uint8_t>(s[at + 13]));
    }
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        if (static_cast<uint8_t>(s[i]) == 0xA0 && static_cast<uint8_t>(s[i + 1]) == 0xF5) {
            ASSERT_TRUE(starts.count(i)) << "stray sync pair at " << i;
        }
    }
    EXPECT_EQ(lengths.size(), 13u);
    EXPECT_EQ(*lengths.rbegin(), 12);
}

// A fill may end inside a record; the next append finishes it, so the log stays one
// well-formed stream however it was built up.
TEST(TimingGenerator, FillsAreExactAndContinueTheCutRecord) {
    TimingGenerator pieces(5);
    TimingGenerator whole(5);
    std::string stream;
    const ByteSink sink = [&](std::string_view bytes) { stream.append(bytes); };
    pieces.Fill(1, sink);
    pieces.Fill(1000, sink);
    pieces.Fill(77777, sink);
    EXPECT_EQ(stream.size(), 78778u);
    EXPECT_EQ(stream, Collect([&](const ByteSink& s) { whole.Fill(78778, s); }));
    pieces.Records(10, 0, sink);
    EXPECT_EQ(CheckerErrors(stream), 0);
}

TEST(TextFiller, ExactSizeAndLinesNumberedOnAcrossFills) {
    TextFiller filler;
    std::string text;
    const ByteSink sink = [&](std::string_view bytes) { text.append(bytes); };
    filler.Fill(100, sink);
    filler.Fill(200000, sink);
    ASSERT_EQ(text.size(), 200100u);
    size_t expected = 1;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        ASSERT_EQ(std::stoul(text.substr(at + 10, 8)), expected++) << text.substr(at, end - at);
    }
}

}  // namespace
