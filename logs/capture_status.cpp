#include "logs/capture_status.h"

#include <cstdio>

namespace {

std::string Format(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);  // NOLINT
    return text;
}

std::string FormatBytes(uint64_t bytes) {
    constexpr uint64_t KIB = 1024;
    if (bytes < KIB) {
        return std::to_string(bytes) + " B";
    }
    if (bytes < KIB * KIB) {
        return Format("%.1f KiB", static_cast<double>(bytes) / KIB);
    }
    if (bytes < KIB * KIB * KIB) {
        return Format("%.1f MiB", static_cast<double>(bytes) / (KIB * KIB));
    }
    return Format("%.2f GiB", static_cast<double>(bytes) / (KIB * KIB * KIB));
}

std::string FormatLog(const LogFigures& log) {
    std::string text = "  ";
    text.append(log.name).append(" ").append(FormatBytes(log.bytes));
    if (log.piece != 0) {
        text.append(" #").append(std::to_string(log.piece));
    }
    if (log.framed) {
        text.append(" ").append(std::to_string(log.errors));
        text.append(log.errors == 1 ? " error" : " errors");
    }
    return text;
}

std::string FormatAdapter(const CaptureFigures& figures) {
    switch (figures.adapter) {
        case AdapterState::Waiting:
            return "waiting for the adapter";
        case AdapterState::Silent:
            return "not answering";
        case AdapterState::Answering:
            break;
    }
    if (!figures.delivered) {
        return "answering, no data yet";
    }
    std::string text = "answering, data ";
    return text.append(std::to_string(figures.sinceDataMs / 1000)).append(" s ago");
}

}  // namespace

std::string FormatDuration(uint64_t milliseconds) {
    const uint64_t seconds = milliseconds / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02u:%02u",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    return text;
}

std::string FormatCaptureStatus(const CaptureFigures& figures) {
    std::string text = FormatDuration(figures.runningMs);
    for (const LogFigures& log : figures.logs) {
        if (log.name != nullptr) {
            text += FormatLog(log);
        }
    }
    return text + "  " + FormatAdapter(figures);
}
