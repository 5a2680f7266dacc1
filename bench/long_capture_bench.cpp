// Figures of captures left running unattended, against the simulator: pieces of 1 MiB
// and the writes through to the disk beside one plain file, each capture moving what a
// flooded driver holds; and the processor time of an idle capture that draws its status
// line, and of one that waits for an adapter, notified of arrivals or enumerating.
//   long_capture_bench QUORVIN VEKDIAG_SIM NO_SYNC_LIBRARY [--quick]
#include <unistd.h>

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

using namespace std::chrono_literals;

struct Programs {
    std::string quorvin;
    std::string noSync;  // the library that makes writing through to the disk a no-op
};

void RemoveFiles(const std::string& directory) {
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        std::filesystem::remove(entry.path());
    }
}

// One capture of mib MiB of each log, held by the driver, ended by standard input at
// its end after one pass: its wall time. The files are removed afterwards.
double TimeCapture(Simulator& sim, const Programs& programs, size_t mib, bool pieces, bool sync) {
    const std::string bytes = std::to_string(mib * 1024 * 1024);
    sim.Control({"fill", "0", "text", bytes});
    sim.Control({"fill", "0", "timing", bytes});
    ::sync();  // what earlier runs left to write is not written during this one
    std::vector<std::string> argv = {
        "/usr/bin/env",   sync ? "LD_PRELOAD=" : "LD_PRELOAD=" + programs.noSync,
        programs.quorvin, "-q",
        "capture",        "-d"};
    if (pieces) {
        argv.push_back("-s:1M");
    }
    argv.insert(argv.end(), {"both", "f.log", "f.bin"});
    const double seconds = TimeRun(argv, sim.workDirectory);
    RemoveFiles(sim.workDirectory);
    return seconds;
}

// Pieces against one file, and one file written through against one that is not, the
// three captures of a round in a rotating order, each round with a fresh simulator (whose
// record of what it served grows by what each capture reads); the medians of the ratios.
void MeasureFloodedCaptures(const SimulatorPrograms& simulatorPrograms, const Programs& programs,
                            size_t mib, int rounds) {
    std::vector<double> ringRatios;
    std::vector<double> syncRatios;
    // Round -1 warms the caches and is not counted.
    for (int round = -1; round < rounds; ++round) {
        Simulator sim({"--log-size", std::to_string(mib * 1024 * 1024 + 4096)}, simulatorPrograms);
        double seconds[3] = {};  // one file, pieces, one file not written through
        for (int turn = 0; turn < 3; ++turn) {
            const int kind = (turn + round + 3) % 3;
            seconds[kind] = TimeCapture(sim, programs, mib, kind == 1, kind != 2);
        }
        if (round < 0) {
            continue;
        }
        ringRatios.push_back(seconds[1] / seconds[0]);
        syncRatios.push_back(seconds[0] / seconds[2]);
    }
    std::printf("capture_ring_overhead %.3f\n", Median(ringRatios));
    std::printf("capture_sync_overhead %.3f\n", Median(syncRatios));
}

// An idle capture whose standard error is a console: the status line is drawn every
// second. The first pass and the first drawing are not idle time.
void MeasureStatusLine(const SimulatorPrograms& simulatorPrograms, const Programs& programs,
                       double idleSeconds, int idleWindows) {
    Simulator sim(std::vector<std::string>{}, simulatorPrograms);
    Process capture(
        {programs.quorvin, "-q", "capture", "both", "a.log", "t.bin"},
        {.workingDirectory = sim.workDirectory, .keepStdinOpen = true, .stderrTerminal = true});
    capture.WaitForStdoutText("ENTER", 20s);
    const size_t startReads = CountReads(sim.Requests(0));
    while (CountReads(sim.Requests(0)) < startReads + 4) {
        std::this_thread::sleep_for(10ms);
    }
    std::printf("capture_idle_cpu_ms_status %.3f\n",
                MedianIdleCpuMsPer10s(capture.pid(), idleSeconds, idleWindows));
    capture.WriteStdin("\n");
    capture.Wait(20s);
}

// A capture that waits for an adapter that never comes, with arrivals notified or,
// where registration is refused, looked for by enumerating once a pass.
void MeasureWaiting(const SimulatorPrograms& simulatorPrograms, const Programs& programs,
                    bool notified, double idleSeconds, int idleWindows) {
    Simulator sim({"--no-adapter"}, simulatorPrograms);
    if (!notified) {
        sim.Control({"pnp", "refuse-registration"});
    }
    Process capture({programs.quorvin, "-q", "capture", "a.log"},
                    {.workingDirectory = sim.workDirectory, .keepStdinOpen = true});
    capture.WaitForStdoutText("ENTER", 20s);
    std::this_thread::sleep_for(1s);  // past the start, into the waiting
    std::printf("capture_wait_cpu_ms_%s %.3f\n", notified ? "notified" : "enumerating",
                MedianIdleCpuMsPer10s(capture.pid(), idleSeconds, idleWindows));
    capture.WriteStdin("\n");
    capture.Wait(20s);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: long_capture_bench QUORVIN VEKDIAG_SIM NO_SYNC_LIBRARY [--quick]\n");
        return 2;
    }
    const Programs programs{argv[1], argv[3]};
    const bool quick = argc > 4 && std::strcmp(argv[4], "--quick") == 0;
    // Idle figures: the median of windows of this many seconds.
    const double idleSeconds = quick ? 2.0 : 4.0;
    const int idleWindows = quick ? 1 : 5;
    const SimulatorPrograms simulatorPrograms{argv[2], argv[1]};
    MeasureFloodedCaptures(simulatorPrograms, programs, quick ? 8 : 16, quick ? 1 : 15);
    MeasureStatusLine(simulatorPrograms, programs, idleSeconds, idleWindows);
    MeasureWaiting(simulatorPrograms, programs, true, idleSeconds, idleWindows);
    MeasureWaiting(simulatorPrograms, programs, false, idleSeconds, idleWindows);
    return 0;
}
