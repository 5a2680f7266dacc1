// Throughput of the timing-log checker beside memcpy of the same bytes, in 4096-byte
// blocks as the drains hand them over. Every round runs every benchmark once, so each
// ratio compares figures taken moments apart; the median over the rounds is printed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "framing/timing_log_checker.h"
#include "tests/support/timing_stream.h"

namespace {

constexpr size_t MIB = size_t{1024} * 1024;
constexpr size_t BLOCK = 4096;

std::vector<uint8_t> GarbageStream(size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t seed = 99;
    for (uint8_t& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
        if (byte == 0xA0) {
            byte = 0x5A;  // no sync word anywhere
        }
    }
    return bytes;
}

void CheckStream(benchmark::State& state, const std::vector<uint8_t>* stream) {
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        TimingLogChecker checker;
        int32_t errors = 0;
        for (size_t at = 0; at < stream->size(); at += BLOCK) {
            errors += checker.CheckBlock(
                stream->data() + at, static_cast<int32_t>(std::min(BLOCK, stream->size() - at)));
        }
        benchmark::DoNotOptimize(errors);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream->size()));
}

void CopyStream(benchmark::State& state, const std::vector<uint8_t>* stream) {
    std::vector<uint8_t> target(stream->size());
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        std::memcpy(target.data(), stream->data(), stream->size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream->size()));
}

// Keeps the real time per iteration of every run, by name.
class Collector : public benchmark::ConsoleReporter {
public:
    bool ReportContext(const Context& /*context*/) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            seconds[run.benchmark_name()].push_back(run.GetAdjustedRealTime() / 1e9);
        }
    }
    std::map<std::string, std::vector<double>> seconds;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    std::vector<char*> passOn;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            rounds = 1;
        } else {
            passOn.push_back(argv[i]);
        }
    }
    int passCount = static_cast<int>(passOn.size());
    benchmark::Initialize(&passCount, passOn.data());

    const size_t sizes[] = {1 * MIB, 16 * MIB, 64 * MIB};
    std::map<size_t, std::vector<uint8_t>> wellFormed;
    for (size_t size : sizes) {
        wellFormed[size] = MakeTimingStream(size);
        wellFormed[size].resize(size);
    }
    const std::vector<uint8_t> garbage = GarbageStream(64 * MIB);
    for (size_t size : sizes) {
        const std::string mib = std::to_string(size / MIB) + "MiB";
        benchmark::RegisterBenchmark(("checker/" + mib).c_str(), CheckStream, &wellFormed[size]);
    }
    benchmark::RegisterBenchmark("memcpy/64MiB", CopyStream, &wellFormed[64 * MIB]);
    benchmark::RegisterBenchmark("checker_garbage/64MiB", CheckStream, &garbage);

    Collector collector;
    for (int round = 0; round < rounds; ++round) {
        benchmark::RunSpecifiedBenchmarks(&collector);
    }
    // Ratios per round first, so that both sides of each come from the same moment.
    std::vector<double> wellFormedRatio;
    std::vector<double> garbageRatio;
    for (int round = 0; round < rounds; ++round) {
        const double copy = collector.seconds["memcpy/64MiB"].at(round);
        wellFormedRatio.push_back(copy / collector.seconds["checker/64MiB"].at(round));
        garbageRatio.push_back(copy / collector.seconds["checker_garbage/64MiB"].at(round));
    }
    std::printf("checker_vs_memcpy %.3f\n", Median(wellFormedRatio));
    std::printf("checker_garbage_vs_memcpy %.3f\n", Median(garbageRatio));
    for (size_t size : sizes) {
        const std::string mib = std::to_string(size / MIB) + "MiB";
        std::printf(
            "checker_ms_per_mib_%s %.3f\n", mib.c_str(),
            Median(collector.seconds["checker/" + mib]) * 1e3 / (static_cast<double>(size) / MIB));
    }
    std::printf("memcpy_ms_per_mib_64MiB %.3f\n",
                Median(collector.seconds["memcpy/64MiB"]) * 1e3 / 64);
    return 0;
}
