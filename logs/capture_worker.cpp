#include <memory>

#include "adapter/vekdiag_device_list.h"
#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/report.h"
#include "cli/stop_request.h"
#include "logs/capture_command.h"
#include "logs/log_reader.h"
#include "logs/log_selection.h"
#include "logs/log_sinks.h"

namespace {

// The most blocks that one log is read for before the other one has its turn: neither
// log starves while the driver keeps delivering.
constexpr uint32_t TURN_BLOCKS = 64;

struct CapturedLog {
    LogChannel channel;
    bool selected;
    LogSink& sink;
};

// The state of one capture, owned by the worker thread.
class Capture {
public:
    explicit Capture(CaptureContext& context)
        : context_(context),
          device_(context.deviceList->GetDevice(0)),
          logs_{{LogChannel::TextLog, WantsTextLog(context.selection), context.textSink},
                {LogChannel::TimingLog, WantsTimingLog(context.selection), context.timingSink}} {
        // A file that could not be created was said already; its log stays in the driver.
        for (const CapturedLog& log : logs_) {
            Note(!log.selected || log.sink.IsOpen());
        }
    }

    // The adapter found at the start is read from the first pass on; its channels are
    // opened, and what it holds dropped, before the prompt. False when the capture
    // cannot go on.
    bool Begin() {
        const bool going = device_ == nullptr || OpenChannels();
        SetEvent(context_.readyEvent);
        return going;
    }

    // One pass; false when the capture cannot go on or a stop came during it.
    bool RunPass() {
        if (device_ == nullptr) {
            return AdoptArrivedAdapter();
        }
        return TakeTurns(true, 0);
    }

    // Closes the files and returns the capture's exit status.
    int Finish() {
        SetEvent(context_.readyEvent);  // when the worker ended before it was ready
        for (CapturedLog& log : logs_) {
            if (log.sink.IsOpen()) {
                Note(log.sink.Close() != 0);
            }
        }
        if (!captured_ && !failed_) {
            ReportFailure("no adapter found");
            failed_ = true;
        }
        return failed_ ? EXIT_STATUS_FAILED : EXIT_STATUS_OK;
    }

private:
    static bool Reading(const CapturedLog& log) { return log.selected && log.sink.Usable(); }

    // An adapter that arrived is read at once; the message comes when what it held is
    // dropped, so that what it logs after the message is kept.
    bool AdoptArrivedAdapter() {
        const std::unique_ptr<WCHAR[]> path = context_.deviceList->TakeNewDevicePath();
        if (path == nullptr) {
            return true;
        }
        arrived_ = std::make_unique<VekDiagDevice>(path.get());
        device_ = arrived_.get();
        const bool going = OpenChannels();
        // The path as "%S" converts it, but a character the narrow set lacks shows as '?'
        // rather than failing the whole line.
        ConsolePrintf("\nNew device just added: %s\nHit \"ENTER\" to exit...",
                      NarrowInterfacePath(path.get()).c_str());
        ConsoleFlush();
        return going;
    }

    // Opens the channels of the logs being read and, unless older events are wanted,
    // reads and drops what the driver already holds: until every log answers empty, for
    // one poll interval at the most, so that a driver that never runs dry is captured
    // too. False when the capture cannot go on.
    bool OpenChannels() {
        for (const CapturedLog& log : logs_) {
            if (Reading(log) && OpenLogChannel(*device_, log.channel) == 0) {
                ReportFailure("cannot open %s",
                              Printable(LogChannelPath(*device_, log.channel).c_str()).c_str());
                failed_ = true;
                return false;
            }
        }
        captured_ = true;
        return context_.keepOlderEvents || TakeTurns(false, GetTickCount64() + CAPTURE_POLL_MS);
    }

    // The logs being read take turns, the text log first, until every one of them has
    // answered empty in the same round, or until deadline (a tick count; 0: none); what
    // a turn leaves in the driver waits for the next one. Dropped blocks still go
    // through the checker. False when a stop came.
    bool TakeTurns(bool keep, ULONGLONG deadline) {
        for (;;) {
            bool delivered = false;
            for (CapturedLog& log : logs_) {
                if (!Reading(log)) {
                    continue;
                }
                DrainProgress progress;
                const int answered = device_->DrainLog(keep ? &log.sink : nullptr, log.channel,
                                                       TURN_BLOCKS, &progress);
                NoteAnswer(answered != 0, log.channel);
                if (keep) {
                    Note(log.sink.Flush() != 0);
                }
                if (progress.stopped) {
                    return false;
                }
                delivered = delivered || !progress.answeredEmpty;
            }
            ConsoleFlush();
            if (!delivered || (deadline != 0 && GetTickCount64() >= deadline)) {
                return true;
            }
            if (StopRequested() != 0) {
                return false;
            }
        }
    }

    // An adapter that stops answering is said once; the capture waits on for ENTER.
    void NoteAnswer(bool answered, LogChannel channel) {
        if (!answered && !silenceReported_) {
            ReportFailure("the adapter stopped answering: %s",
                          Printable(LogChannelPath(*device_, channel).c_str()).c_str());
            silenceReported_ = true;
            failed_ = true;
        }
    }

    void Note(bool succeeded) { failed_ = failed_ || !succeeded; }

    CaptureContext& context_;
    VekDiagDevice* device_;
    std::unique_ptr<VekDiagDevice> arrived_;
    CapturedLog logs_[2];
    bool captured_ = false;
    bool failed_ = false;
    bool silenceReported_ = false;
};

}  // namespace

DWORD WINAPI CaptureWorker(LPVOID parameter) {
    CaptureContext& context = *static_cast<CaptureContext*>(parameter);
    Capture capture(context);
    bool going = capture.Begin();
    while (going) {
        going = capture.RunPass() &&
                WaitForSingleObject(context.stopEvent, CAPTURE_POLL_MS) == WAIT_TIMEOUT;
    }
    context.exitStatus = capture.Finish();
    return 0;
}
