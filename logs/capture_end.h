// What ends a capture by itself: a duration (-t), or a text-log line with a text (-w),
// one poll interval after that line arrived, so that what the driver logs right after
// the fault is kept.
#pragma once

#include <optional>

#include "logs/capture_options.h"
#include "logs/text_watch.h"
#include "platform/win32.h"

class CaptureEnd {
public:
    // start: the capture's first tick count.
    CaptureEnd(const CaptureOptions& options, ULONGLONG start);

    // What the text log must pass through, when a text is waited for; null otherwise.
    TextWatch* Watch() { return watch_.has_value() ? &*watch_ : nullptr; }
    // True once the capture is to end; looked at between turns and after each pass.
    bool Due(ULONGLONG now);
    // How long the worker may wait for its next pass: a poll interval, or less when the
    // capture is to end sooner.
    DWORD NextWait(ULONGLONG now) const;
    // The line on standard output that says what ended the capture, if it ended itself.
    void Say() const;
    // What ended it, for the events file: "after 1:00:00", "\"FAULT\" seen"; empty when
    // it did not end itself.
    std::string How() const;

private:
    const ULONGLONG start_;
    const ULONGLONG durationMs_;
    std::optional<TextWatch> watch_;
    ULONGLONG seenAt_ = 0;
    bool due_ = false;
};
