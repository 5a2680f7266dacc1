#include "logs/capture_end.h"

#include <algorithm>

#include "base/console.h"
#include "base/report.h"
#include "logs/capture_command.h"
#include "logs/capture_status.h"

namespace {

ULONGLONG Remaining(ULONGLONG deadline, ULONGLONG now) {
    return deadline > now ? deadline - now : 0;
}

}  // namespace

CaptureEnd::CaptureEnd(const CaptureOptions& options, ULONGLONG start)
    : start_(start), durationMs_(options.durationMs) {
    if (options.waitText != nullptr) {
        watch_.emplace(options.waitText);
    }
}

bool CaptureEnd::Due(ULONGLONG now) {
    if (watch_.has_value() && watch_->Seen() && seenAt_ == 0) {
        seenAt_ = now;
    }
    due_ = due_ || (durationMs_ != 0 && now - start_ >= durationMs_) ||
           (seenAt_ != 0 && now - seenAt_ >= CAPTURE_POLL_MS);
    return due_;
}

DWORD CaptureEnd::NextWait(ULONGLONG now) const {
    ULONGLONG wait = CAPTURE_POLL_MS;
    if (durationMs_ != 0) {
        wait = std::min(wait, Remaining(start_ + durationMs_, now));
    }
    if (seenAt_ != 0) {
        wait = std::min(wait, Remaining(seenAt_ + CAPTURE_POLL_MS, now));
    }
    return static_cast<DWORD>(wait);
}

std::string CaptureEnd::How() const {
    if (!due_) {
        return "";
    }
    std::string how;
    if (seenAt_ != 0) {
        how.append(1, '"').append(Printable(watch_->Text().c_str())).append("\" seen");
    } else {
        how.append("after ").append(FormatDuration(durationMs_));
    }
    return how;
}

void CaptureEnd::Say() const {
    if (!due_) {
        return;
    }
    const char* lineFeed = ConsoleAtLineStart() ? "" : "\n";
    const std::string now = LocalDateAndTime();
    if (seenAt_ != 0) {
        ConsolePrintf("%s%s capture ended: \"%s\" seen\n", lineFeed, now.c_str(),
                      Printable(watch_->Text().c_str()).c_str());
    } else {
        ConsolePrintf("%s%s capture ended after %s\n", lineFeed, now.c_str(),
                      FormatDuration(durationMs_).c_str());
    }
    ConsoleFlush();
}
