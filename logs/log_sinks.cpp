#include "logs/log_sinks.h"

#include "base/console.h"
#include "logs/capture_options.h"
#include "logs/text_watch.h"

int OpenLogFile(LogSink* sink, const char* name, bool binary, const PieceOptions& pieces) {
    if (pieces.size == 0) {
        return sink->file_.Create(name, binary);
    }
    sink->ring_ = std::make_unique<PieceRing>(name, binary, pieces);
    if (sink->ring_->Start() == 0) {
        sink->ring_.reset();
        return 0;
    }
    return 1;
}

int OpenTextLogSink(const char* name, LogSink* sink, const PieceOptions& pieces) {
    if (name == nullptr) {
        sink->Attach(stdout, nullptr);
        return 1;
    }
    return OpenLogFile(sink, name, false, pieces);
}

int OpenTextLogSink(const char* name, LogSink* sink) {
    return OpenTextLogSink(name, sink, PieceOptions{});
}

int OpenTimingLogSink(const char* name, LogSink* sink, const PieceOptions& pieces) {
    return OpenLogFile(sink, name, true, pieces);
}

int OpenTimingLogSink(const char* name, LogSink* sink) {
    return OpenTimingLogSink(name, sink, PieceOptions{});
}

LogSink::~LogSink() = default;

void LogSink::Attach(FILE* stream, const char* name) {
    console_ = stream == stdout;
    if (!console_) {
        file_.Attach(stream, name);
    }
}

// A failure was said where it happened (the console says its own); from then on the
// sink takes nothing.
int LogSink::Check(int succeeded) {
    failed_ = failed_ || succeeded == 0;
    return failed_ ? 0 : 1;
}

int LogSink::Write(const void* block, uint32_t size, const BlockCuts* cuts) {
    if (failed_) {
        return 0;
    }
    const auto* bytes = static_cast<const uint8_t*>(block);
    if (watch_ != nullptr) {
        watch_->Feed(bytes, size);
    }
    int written = 0;
    if (console_) {
        written = ConsoleWrite(block, size);
    } else if (ring_ != nullptr) {
        written = ring_->Write(bytes, size, cuts);
    } else {
        written = file_.Write(block, size);
    }
    bytes_ += written != 0 ? size : 0;
    return Check(written);
}

int LogSink::Flush() {
    if (failed_) {
        return 0;
    }
    if (console_) {
        return Check(ConsoleFlush());
    }
    return Check(ring_ != nullptr ? ring_->Flush() : file_.Flush());
}

int LogSink::Sync() {
    if (failed_ || console_) {
        return failed_ ? 0 : 1;
    }
    return Check(ring_ != nullptr ? ring_->Sync() : file_.Sync());
}

int LogSink::EndUnit() {
    return failed_ || ring_ == nullptr ? Check(1) : Check(ring_->EndUnit());
}

int LogSink::EndPiece() {
    return failed_ || ring_ == nullptr ? Check(1) : Check(ring_->EndPiece());
}

int LogSink::Close() {
    if (console_) {
        return failed_ ? 0 : Flush();
    }
    if (ring_ != nullptr) {
        const int closed = ring_->Close();
        return failed_ ? 0 : Check(closed);
    }
    if (!file_.IsOpen()) {
        return 0;
    }
    const int closed = file_.Close();
    return failed_ ? 0 : Check(closed);
}
