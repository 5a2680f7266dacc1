// The figures of a running capture, as its status line and its last line show them.
#pragma once

#include <cstdint>
#include <string>

struct LogFigures {
    const char* name = nullptr;  // null: the log is not captured
    uint64_t bytes = 0;
    uint64_t errors = 0;
    bool framed = false;  // has framing errors to count
    uint64_t piece = 0;   // 0: not in pieces
};

enum class AdapterState { Waiting, Answering, Silent };

struct CaptureFigures {
    uint64_t runningMs = 0;
    LogFigures logs[2];
    AdapterState adapter = AdapterState::Waiting;
    bool delivered = false;  // the adapter has delivered something
    uint64_t sinceDataMs = 0;
};

// "1:02:03": hours, minutes and seconds.
std::string FormatDuration(uint64_t milliseconds);

// "0:01:23  text 1.2 MiB #3  timing 45.6 MiB #7 2 errors  answering, data 0 s ago": the
// time running, each log's bytes (its piece, its framing errors), and the adapter. Short
// enough for a console line of 80 characters, as long as a capture's figures stay sane.
std::string FormatCaptureStatus(const CaptureFigures& figures);
