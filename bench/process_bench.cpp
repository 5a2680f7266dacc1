// Whole-process figures against the simulator: the cost of a dump beside the bare
// reads it makes, what an idle capture costs and how fast it stops, and how a capture
// fares against a driver that logs faster than it is read.
//   process_bench QUORVIN VEKDIAG_SIM BARE_READER [--quick]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/measure.h"
#include "tests/support/request_record.h"
#include "tests/support/simulator.h"

namespace {

using Clock = BenchClock;
using namespace std::chrono_literals;

struct Programs {
    std::string quorvin;
    std::string bare;
};

// Dump time per MiB and its ratio to the bare reads, rounds alternating the order.
void MeasureDump(Simulator& sim, const Programs& programs, size_t mib, int rounds,
                 const std::string& suffix) {
    const std::string& work = sim.workDirectory;
    const std::string bytes = std::to_string(mib * 1024 * 1024);
    std::vector<double> ratios;
    std::vector<double> dumpSeconds;
    for (int round = 0; round < rounds; ++round) {
        double dump = 0;
        double bare = 0;
        for (int turn = 0; turn < 2; ++turn) {
            sim.Control({"fill", "0", "text", bytes});
            sim.Control({"fill", "0", "timing", bytes});
            const bool dumpTurn = (turn + round) % 2 == 0;
            if (dumpTurn) {
                dump = TimeRun({programs.quorvin, "-q", "dump", "both", "a.log", "t.bin"}, work);
            } else {
                bare = TimeRun({programs.bare, "B.LOG", "B.BIN"}, work);
            }
        }
        ratios.push_back(dump / bare);
        dumpSeconds.push_back(dump);
    }
    std::printf("dump_ms_per_mib_%s %.3f\n", suffix.c_str(),
                Median(dumpSeconds) * 1e3 / (2.0 * mib));
    std::printf("dump_overhead_%s %.3f\n", suffix.c_str(), Median(ratios));
    if (suffix == "16MiB") {
        std::printf("dump_overhead %.3f\n", Median(ratios));
    }
}

// One idle capture: CPU and read requests over the idle time, then the time to stop.
void MeasureCapture(Simulator& sim, const Programs& programs, double idleSeconds, int stops) {
    const std::string& work = sim.workDirectory;
    std::vector<double> stopMs;
    for (int run = 0; run < stops; ++run) {
        Process capture({programs.quorvin, "-q", "capture", "both", "a.log", "t.bin"},
                        {.workingDirectory = work, .keepStdinOpen = true});
        capture.WaitForStdoutText("ENTER", 20s);
        // The first pass (opening, dropping, draining) is not idle time.
        const size_t startReads = CountReads(sim.Requests(0));
        while (CountReads(sim.Requests(0)) < startReads + 4) {
            std::this_thread::sleep_for(10ms);
        }
        if (run == 0) {
            const size_t readsBefore = CountReads(sim.Requests(0));
            const auto idleStart = Clock::now();
            const double cpuMs = IdleCpuMsPer10s(capture.pid(), idleSeconds);
            const size_t reads = CountReads(sim.Requests(0)) - readsBefore;
            const double idle = Seconds(Clock::now() - idleStart);
            std::printf("capture_idle_cpu_ms %.3f\n", cpuMs);
            std::printf("capture_idle_reads_per_s %.3f\n", static_cast<double>(reads) / idle / 2);
        }
        const auto pressed = Clock::now();
        capture.WriteStdin("\n");
        capture.Wait(20s);
        stopMs.push_back(Seconds(Clock::now() - pressed) * 1e3);
    }
    std::printf("capture_stop_ms %.1f\n", Median(stopMs));
}

size_t FileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<size_t>(size);
}

// Both logs hold more than a capture reads in the time measured, and go on being
// written at the same rate: how soon ENTER ends the capture while it reads, and the
// timing log's share of the bytes it captured (a half when the logs take fair turns).
void MeasureFlood(Simulator& sim, const Programs& programs, size_t mib, double floodSeconds,
                  int runs) {
    const std::string& work = sim.workDirectory;
    const std::string held = std::to_string(mib * 1024 * 1024);
    std::vector<double> stopMs;
    std::vector<double> shares;
    for (int run = 0; run < runs; ++run) {
        for (const char* log : {"text", "timing"}) {
            sim.Control({"fill", "0", log, held});
            sim.Control({"stream", "0", log, "50000000"});
        }
        Process capture({programs.quorvin, "-q", "capture", "-d", "both", "f.log", "f.bin"},
                        {.workingDirectory = work, .keepStdinOpen = true});
        const auto deadline = Clock::now() + 20s;
        while (FileSize(work + "/F.BIN") == 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(floodSeconds));
        const auto pressed = Clock::now();
        capture.WriteStdin("\n");
        capture.Wait(20s);
        stopMs.push_back(Seconds(Clock::now() - pressed) * 1e3);
        for (const char* log : {"text", "timing"}) {
            sim.Control({"stream", "0", log, "stop"});
        }
        const double text = static_cast<double>(FileSize(work + "/F.LOG"));
        const double timing = static_cast<double>(FileSize(work + "/F.BIN"));
        shares.push_back(text + timing > 0 ? timing / (text + timing) : 0);
        RunProcess({programs.quorvin, "-q", "dump", "both", "f.log", "f.bin"},
                   {.workingDirectory = work});  // empties the logs for the next run
    }
    std::printf("capture_stop_ms_flood %.1f\n", Median(stopMs));
    std::printf("capture_flood_timing_share %.3f\n", Median(shares));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: process_bench QUORVIN VEKDIAG_SIM BARE_READER [--quick]\n");
        return 2;
    }
    const Programs programs{argv[1], argv[3]};
    const bool quick = argc > 4 && std::strcmp(argv[4], "--quick") == 0;
    Simulator sim({"--log-size", std::to_string(65 * 1024 * 1024)}, {argv[2], argv[1]});
    const int rounds = quick ? 1 : 5;
    for (size_t mib : {size_t{1}, size_t{16}, size_t{64}}) {
        MeasureDump(sim, programs, quick ? 1 : mib, quick ? 1 : (mib == 64 ? 3 : rounds),
                    std::to_string(mib) + "MiB");
    }
    MeasureCapture(sim, programs, quick ? 2.0 : 10.0, quick ? 1 : 5);
    MeasureFlood(sim, programs, quick ? 24 : 48, quick ? 0.1 : 0.25, quick ? 1 : 5);

    return 0;
}
