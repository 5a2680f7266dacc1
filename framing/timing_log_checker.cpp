#include "framing/timing_log_checker.h"

#include "framing/timing_log_framing.h"

FrameResult FrameTimingRecord(const uint8_t* window, uint32_t count, uint32_t* advance) {
    return timing_framing::Frame(window, count, advance);
}

int32_t TimingLogChecker::CheckBlock(const uint8_t* block, int32_t length) {
    NoFramingObserver nobody;
    return CheckBlockObserved<NoFramingObserver, BlockEnd::LimitsLookAhead>(block, length, nobody);
}
