#include "bench/measure.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/process.h"

// A failed step of the simulator harness leaves no figure worth printing.
void HarnessFailure(const std::string& message) {
    std::fprintf(stderr, "benchmark: %s\n", message.c_str());
    std::exit(1);
}

double Seconds(BenchClock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double CpuNanoseconds(pid_t pid) {
    double total = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        std::ifstream in(task.path() / "schedstat");
        double onCpu = 0;
        in >> onCpu;
        total += onCpu;
    }
    return total;
}

double TimeRun(const std::vector<std::string>& argv, const std::string& directory) {
    const auto start = BenchClock::now();
    const ProcessResult result =
        RunProcess(argv, {.workingDirectory = directory}, "", std::chrono::minutes(5));
    const double seconds = Seconds(BenchClock::now() - start);
    if (result.status != 0) {
        std::fprintf(stderr, "%s failed: %s\n", argv[0].c_str(), result.err.c_str());
        std::exit(1);
    }
    return seconds;
}

double IdleCpuMsPer10s(pid_t pid, double idleSeconds) {
    const double before = CpuNanoseconds(pid);
    const auto start = BenchClock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    const double cpu = CpuNanoseconds(pid) - before;
    return cpu / 1e6 * 10.0 / Seconds(BenchClock::now() - start);
}

double MedianIdleCpuMsPer10s(pid_t pid, double windowSeconds, int windows) {
    std::vector<double> figures;
    figures.reserve(static_cast<size_t>(windows));
    for (int window = 0; window < windows; ++window) {
        figures.push_back(IdleCpuMsPer10s(pid, windowSeconds));
    }
    return Median(figures);
}
