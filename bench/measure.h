// What the whole-process benchmarks share: the clock, medians, a process's processor
// time and a timed run that must succeed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

using BenchClock = std::chrono::steady_clock;

double Seconds(BenchClock::duration duration);
double Median(std::vector<double> values);

// Nanoseconds that all threads of a process have spent on a processor.
double CpuNanoseconds(pid_t pid);

// The wall time of a run in directory, in seconds; a failed run ends the benchmark.
double TimeRun(const std::vector<std::string>& argv, const std::string& directory);

// Processor time of a process over idleSeconds from now, in ms per 10 s.
double IdleCpuMsPer10s(pid_t pid, double idleSeconds);
// The same over several windows one after the other, their median: a window in which
// the machine's host took the processor away counts once.
double MedianIdleCpuMsPer10s(pid_t pid, double windowSeconds, int windows);
