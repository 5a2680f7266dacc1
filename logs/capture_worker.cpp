#include <cstdio>
#include <memory>

#include "adapter/vekdiag_device_list.h"
#include "cli/exit_status.h"
#include "cli/report.h"
#include "logs/capture_command.h"
#include "logs/log_reader.h"
#include "logs/log_selection.h"
#include "logs/log_sinks.h"

namespace {

// The state of one capture, owned by the worker thread.
class Capture {
public:
    explicit Capture(CaptureContext& context)
        : context_(context),
          selection_(context.selection),
          keepOlderEvents_(context.keepOlderEvents),
          device_(context.deviceList->GetDevice(0)) {}

    // Closes the files and returns the capture's exit status.
    int Finish() {
        if (textSink_ != nullptr && selection_.textLogName != nullptr) {
            Note(CloseLogSink(textSink_, selection_.textLogName));
        }
        if (timingSink_ != nullptr) {
            Note(CloseLogSink(timingSink_, selection_.timingLogName));
        }
        if (!captured_ && !failed_) {
            ReportFailure("no adapter found");
            failed_ = true;
        }
        return failed_ ? EXIT_STATUS_FAILED : EXIT_STATUS_OK;
    }

    // A sink that cannot be created leaves that log read and dropped.
    void OpenSinks() {
        if (WantsTextLog(selection_)) {
            textSink_ = OpenTextLogSink(selection_.textLogName);
            Note(textSink_ != nullptr);
        }
        if (WantsTimingLog(selection_)) {
            timingSink_ = OpenTimingLogSink(selection_.timingLogName);
            Note(timingSink_ != nullptr);
        }
    }

    // One pass; false when the capture cannot go on.
    bool RunPass() {
        if (device_ == nullptr) {
            AdoptArrivedAdapter();
            return true;
        }
        if (!channelsOpened_ && !OpenChannels()) {
            return false;
        }
        bool answered = true;
        if (WantsTextLog(selection_)) {
            answered = device_->DrainLog(textSink_, LogChannel::TextLog) != 0 && answered;
            Note(textSink_ == nullptr || FlushLogSink(textSink_, selection_.textLogName) != 0);
        }
        if (WantsTimingLog(selection_)) {
            answered = device_->DrainLog(timingSink_, LogChannel::TimingLog) != 0 && answered;
            Note(timingSink_ == nullptr ||
                 FlushLogSink(timingSink_, selection_.timingLogName) != 0);
        }
        std::fflush(stdout);
        NoteAnswer(answered);
        return true;
    }

private:
    void AdoptArrivedAdapter() {
        const std::unique_ptr<WCHAR[]> path = context_.deviceList->TakeNewDevicePath();
        if (path == nullptr) {
            return;
        }
        std::printf("\nNew device just added: %S\nHit \"ENTER\" to exit...", path.get());
        std::fflush(stdout);
        arrived_ = std::make_unique<VekDiagDevice>(path.get());
        device_ = arrived_.get();
    }

    // Opens the selected channels and, unless older events are wanted, reads and drops
    // what the driver already holds.
    bool OpenChannels() {
        const LogChannel channels[] = {LogChannel::TextLog, LogChannel::TimingLog};
        for (LogChannel channel : channels) {
            const bool wanted = channel == LogChannel::TextLog ? WantsTextLog(selection_)
                                                               : WantsTimingLog(selection_);
            if (wanted && OpenLogChannel(*device_, channel) == 0) {
                ReportFailure("cannot open %s", LogChannelPath(*device_, channel).c_str());
                failed_ = true;
                return false;
            }
        }
        if (!keepOlderEvents_) {
            bool answered = true;
            if (WantsTextLog(selection_)) {
                answered = device_->DrainLog(nullptr, LogChannel::TextLog) != 0 && answered;
            }
            if (WantsTimingLog(selection_)) {
                answered = device_->DrainLog(nullptr, LogChannel::TimingLog) != 0 && answered;
            }
            NoteAnswer(answered);
        }
        channelsOpened_ = true;
        captured_ = true;
        return true;
    }

    // An adapter that stops answering is said once; the capture waits on for ENTER.
    void NoteAnswer(bool answered) {
        if (!answered && !silenceReported_) {
            ReportFailure("the adapter stopped answering: %s",
                          LogChannelPath(*device_, WantsTextLog(selection_) ? LogChannel::TextLog
                                                                            : LogChannel::TimingLog)
                              .c_str());
            silenceReported_ = true;
            failed_ = true;
        }
    }

    void Note(bool succeeded) { failed_ = failed_ || !succeeded; }

    CaptureContext& context_;
    const LogSelection selection_;
    const bool keepOlderEvents_;
    VekDiagDevice* device_;
    std::unique_ptr<VekDiagDevice> arrived_;
    FILE* textSink_ = nullptr;
    FILE* timingSink_ = nullptr;
    bool channelsOpened_ = false;
    bool captured_ = false;
    bool failed_ = false;
    bool silenceReported_ = false;
};

}  // namespace

DWORD WINAPI CaptureWorker(LPVOID parameter) {
    CaptureContext& context = *static_cast<CaptureContext*>(parameter);
    Capture capture(context);
    capture.OpenSinks();
    while (capture.RunPass()) {
        if (WaitForSingleObject(context.stopEvent, CAPTURE_POLL_MS) != WAIT_TIMEOUT) {
            break;
        }
    }
    context.exitStatus = capture.Finish();
    return 0;
}
