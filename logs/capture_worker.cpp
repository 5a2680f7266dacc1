#include <algorithm>
#include <memory>

#include "adapter/adapter_choice.h"
#include "adapter/vekdiag_device_list.h"
#include "base/console.h"
#include "base/exit_status.h"
#include "base/report.h"
#include "base/status_line.h"
#include "base/stop_request.h"
#include "logs/capture_command.h"
#include "logs/capture_end.h"
#include "logs/capture_status.h"
#include "logs/log_reader.h"
#include "logs/log_selection.h"
#include "logs/log_sinks.h"

namespace {

// The most blocks that one log is read for before the other one has its turn: neither
// log starves while the driver keeps delivering.
constexpr uint32_t TURN_BLOCKS = 64;
// How often the status line is drawn anew, at the most.
constexpr ULONGLONG STATUS_INTERVAL_MS = 1000;

struct CapturedLog {
    LogChannel channel;
    bool selected;
    LogSink& sink;
    uint64_t errors = 0;  // framing errors of what was kept
};

// Where a capture stands with its adapter. Every change of stage is made by one member
// of Capture: StartReading, NoteSilence, FollowRemoval or Depart.
enum class Stage {
    Waiting,   // no adapter read yet: the one chosen is looked for at every pass
    Reading,   // the adapter's log channels are open, and it answers
    Silent,    // it stopped answering (said once); its channels are still read
    Released,  // the system asked to remove it: its channels were let go until that is
               // decided; what it logs meanwhile waits in the driver
    Away,      // followed (-f), it left: the files stay open until it is back
    Removed,   // not followed, the system removed it: the capture ends
};

// The state of one capture, owned by the worker thread.
class Capture : public DrainLimit {
public:
    explicit Capture(CaptureContext& context)
        : context_(context),
          options_(context.options),
          device_(PickAdapter(*context.deviceList, context.options.adapter)),
          logs_{{LogChannel::TextLog, WantsTextLog(context.selection), context.textSink},
                {LogChannel::TimingLog, WantsTimingLog(context.selection), context.timingSink}},
          start_(GetTickCount64()),
          end_(context.options, start_),
          lastSync_(start_),
          lastStatus_(start_) {
        // A file that could not be created was said already; its log stays in the driver.
        for (const CapturedLog& log : logs_) {
            Note(!log.selected || log.sink.IsOpen());
        }
        context.textSink.Watch(end_.Watch());
    }

    // The adapter found at the start is read from the first pass on; its channels are
    // opened, and what it holds dropped, before the prompt. False when the capture
    // cannot go on.
    bool Begin() {
        const bool going = device_ == nullptr || StartReading(device_, "");
        ShowCapturePrompt();
        SetEvent(context_.readyEvent);
        return going;
    }

    // One pass; false when the capture is to end: it cannot go on, a stop came, or what
    // ends it by itself has come.
    bool RunPass() {
        if (!AnyLogWritable() || stage_ == Stage::Removed) {
            return false;  // every file failed, or the adapter is gone: nothing more to keep
        }
        if (device_ == nullptr && !LookForAdapter()) {
            return false;
        }
        if (device_ != nullptr && device_->Removal() != DeviceRemoval::None) {
            FollowRemoval();
        }
        if (stage_ == Stage::Removed) {
            return false;
        }
        if (device_ != nullptr && stage_ != Stage::Released && !TakeTurns(true, 0)) {
            return false;
        }
        return Tick(true);
    }

    DWORD NextWait() const { return end_.NextWait(GetTickCount64()); }

    // Closes the files and returns the capture's exit status. ended: why the passes
    // stopped, when nothing else tells it.
    int Finish(const char* ended) {
        if (statusShown_) {
            ShowStatus(GetTickCount64());
            EndStatusLine();
        }
        for (CapturedLog& log : logs_) {
            if (log.sink.IsOpen()) {
                Note(log.sink.Close() != 0);
            }
        }
        if (stage_ == Stage::Waiting && !failed_) {
            ReportNoAdapter(options_.adapter);
            failed_ = true;
        } else if (stage_ == Stage::Away) {
            ReportEvent("the capture ended while the adapter was away");
            failed_ = true;
        }
        end_.Say();
        const int status = failed_ ? EXIT_STATUS_FAILED : EXIT_STATUS_OK;
        Record(EndLine(ended, status));
        return status;
    }

    // After every block of a turn: a turn ends after TURN_BLOCKS blocks, or as soon as
    // its time is up, so that neither the bound on dropping nor the end of the capture
    // waits for a slow driver's whole turn.
    bool ReadOn(uint32_t blocks) override {
        return blocks < TURN_BLOCKS && !TimeIsUp(GetTickCount64());
    }

private:
    static bool Reading(const CapturedLog& log) { return log.selected && log.sink.Usable(); }

    bool AnyLogWritable() const {
        return std::any_of(std::begin(logs_), std::end(logs_),
                           [](const CapturedLog& log) { return Reading(log); });
    }

    // Which adapter is looked for: the one chosen, or once one was read, that one.
    const AdapterChoice& Sought() const {
        return stage_ == Stage::Away ? followed_ : options_.adapter;
    }

    // Waiting for an adapter: one that arrived (its path left by the notification), or
    // where arrivals are not notified, or right after a departure, one found present.
    // False when the capture cannot go on.
    bool LookForAdapter() {
        const AdapterChoice& choice = Sought();
        std::unique_ptr<VekDiagDevice> device;
        std::string path;
        bool lookAgain = false;
        const std::unique_ptr<WCHAR[]> arrived = context_.deviceList->TakeNewDevicePath();
        if (arrived != nullptr) {
            path = NarrowInterfacePath(arrived.get());
            device = std::make_unique<VekDiagDevice>(arrived.get());
            if (!Matches(*device, choice)) {
                // Another adapter (the slot keeps only the newest arrival), or one that
                // could not say its index yet: looked at again at the next pass.
                lookAgain = !device->identified;
                device.reset();
            }
        }
        const bool notified = context_.deviceList->notificationHandle != nullptr;
        if (device == nullptr && (arrived != nullptr || !notified || lookNow_)) {
            device = FindPresentAdapter(choice);
            path = device != nullptr ? device->InterfacePath() : path;
        }
        lookNow_ = lookAgain;
        if (device == nullptr) {
            return true;
        }
        owned_ = std::move(device);
        return StartReading(owned_.get(), path);
    }

    // Opens the channels of an adapter that is to be read: the one found at the start, one
    // that arrived while the capture waited, or, when following, the one that left and is
    // back. Unless older events are wanted or the adapter is back from an absence (what
    // it holds was logged while the capture waited), what the driver already holds is
    // read and dropped: until every log answers empty, for one poll interval at the most,
    // so that a driver that never runs dry is captured too. False when the capture cannot
    // go on.
    bool StartReading(VekDiagDevice* device, const std::string& arrivedPath) {
        device_ = device;
        const bool returning = stage_ == Stage::Away;
        // The configure channel was wanted only to learn the adapter's index: others may
        // use it while the capture runs.
        device->CloseConfigureChannel();
        const bool opened = OpenLogChannels();
        if (opened && returning) {
            ReportEvent("the adapter is back: %s", Printable(arrivedPath.c_str()).c_str());
            stage_ = Stage::Reading;
        } else if (opened) {
            followed_ = ChoiceOf(*device);  // the adapter a follow waits for
            stage_ = Stage::Reading;
            Record("reading adapter index " + std::to_string(device->adapterIndex) + ": " +
                   Printable(device->InterfacePath().c_str()));
            if (!options_.keepOlderEvents) {
                TakeTurns(false, GetTickCount64() + CAPTURE_POLL_MS);  // it may leave meanwhile
            }
        }
        if (!arrivedPath.empty() && !returning) {
            // The path as "%S" converts it, but a character the narrow set lacks shows as
            // '?' rather than failing the whole line.
            ConsolePrintf("\nNew device just added: %s\nHit \"ENTER\" to exit...",
                          arrivedPath.c_str());
            ConsoleFlush();
        }
        if (!opened && returning) {
            LetGo();  // not ready yet: looked for again
            lookNow_ = true;
            return true;
        }
        if (!opened) {
            ReportFailure("cannot open %s", Printable(failedChannel_.c_str()).c_str());
            failed_ = true;
            return false;
        }
        return true;
    }

    // Opens the channels of the logs being read; false when one cannot be opened.
    bool OpenLogChannels() {
        for (const CapturedLog& log : logs_) {
            if (Reading(log) && OpenLogChannel(*device_, log.channel) == 0) {
                failedChannel_ = LogChannelPath(*device_, log.channel);
                return false;
            }
        }
        return true;
    }

    // The adapter in use is given up: its channels closed, the device destroyed if it is
    // the worker's own.
    void LetGo() {
        if (owned_ == nullptr) {
            device_->CloseTextLogChannel();
            device_->CloseTimingLogChannel();
            device_->CloseConfigureChannel();
        }
        owned_.reset();
        device_ = nullptr;
    }

    // Following its adapter, the capture keeps its files open and waits for the adapter
    // to return; the log breaks off here, so a record cut by the departure is no error,
    // and the piece being written ends with it.
    void Depart() {
        ReportEvent("the adapter left: %s", Printable(device_->InterfacePath().c_str()).c_str());
        for (CapturedLog& log : logs_) {
            if (Reading(log)) {
                Note(log.sink.EndPiece() != 0 && log.sink.Flush() != 0);
            }
        }
        LetGo();
        // Arrivals seen while the adapter was read are stale; one that is present now is
        // looked for at the next pass, whether notified or not.
        context_.deviceList->TakeNewDevicePath();
        lookNow_ = true;
        stage_ = Stage::Away;
    }

    // Whether the turn in progress is to end: the bound on dropping has passed, or what
    // ends the capture by itself has come.
    bool TimeIsUp(ULONGLONG now) {
        return (deadline_ != 0 && now >= deadline_) || (keeping_ && end_.Due(now));
    }

    // The logs being read take turns, the text log first, until every one of them has
    // answered empty in the same round, or until deadline (a tick count; 0: none); what
    // a turn leaves in the driver waits for the next one. Dropped blocks still go
    // through the checker. False when a stop came or the capture is to end.
    bool TakeTurns(bool keep, ULONGLONG deadline) {
        if (StopRequested() != 0) {
            return false;  // a stop while older events were dropped: nothing more is read
        }
        keeping_ = keep;
        deadline_ = deadline;
        for (;;) {
            bool delivered = false;
            for (CapturedLog& log : logs_) {
                if (device_ == nullptr || !Reading(log)) {
                    continue;
                }
                DrainProgress progress;
                const int answered =
                    device_->DrainLog(keep ? &log.sink : nullptr, log.channel, &progress, this);
                if (keep) {
                    log.errors += progress.errors;
                    Note(log.sink.Flush() != 0);
                }
                if (progress.blocks > 0) {
                    lastData_ = GetTickCount64();
                }
                if (progress.stopped) {
                    return false;
                }
                if (answered == 0 && device_->Removal() != DeviceRemoval::None) {
                    FollowRemoval();  // the handles were let go: the pass ends here
                    return true;
                }
                if (answered == 0) {
                    NoteSilence(log.channel);
                }
                delivered = delivered || !progress.answeredEmpty;
            }
            ConsoleFlush();
            if (!delivered || device_ == nullptr || TimeIsUp(GetTickCount64())) {
                return true;
            }
            if ((keep && !Tick(false)) || StopRequested() != 0) {
                return false;
            }
        }
    }

    // An adapter that stops answering has left, when the capture follows it; otherwise it
    // is said once, and the capture reads on.
    void NoteSilence(LogChannel channel) {
        if (options_.follow) {
            Depart();
            return;
        }
        if (stage_ != Stage::Silent) {
            ReportEvent("the adapter stopped answering: %s",
                        Printable(LogChannelPath(*device_, channel).c_str()).c_str());
            stage_ = Stage::Silent;
            failed_ = true;
        }
    }

    // The system asked to remove the adapter, and its handles were let go (a driver update,
    // disable and enable, a restart of the device). The capture waits for the outcome: a
    // removal that someone else refused lets it read on, with nothing lost; one that went
    // ahead is a departure when following, and the end of the capture otherwise.
    void FollowRemoval() {
        switch (device_->Removal()) {
            case DeviceRemoval::None:
                break;
            case DeviceRemoval::LetGo:
                stage_ = Stage::Released;
                break;
            case DeviceRemoval::Refused:
                if (device_->Resume() != 0) {
                    stage_ = Stage::Reading;
                } else {
                    NoteSilence(LogChannel::TextLog);
                }
                break;
            case DeviceRemoval::Removed:
                if (options_.follow) {
                    Depart();
                } else {
                    ReportEvent("the adapter was removed: %s",
                                Printable(device_->InterfacePath().c_str()).c_str());
                    LetGo();
                    stage_ = Stage::Removed;
                    failed_ = true;
                }
                break;
        }
    }

    // Between turns and after each pass: whether what ends the capture by itself has
    // come, the files written through to the disk once a pass (or a poll interval, while
    // a pass goes on), the status line. False when the capture is to end.
    bool Tick(bool passEnded) {
        const ULONGLONG now = GetTickCount64();
        const bool ending = end_.Due(now);
        if (passEnded || now - lastSync_ >= CAPTURE_POLL_MS) {
            for (CapturedLog& log : logs_) {
                if (Reading(log)) {
                    Note(log.sink.Sync() != 0);
                }
            }
            if (context_.events != nullptr) {
                context_.events->Sync();
            }
            lastSync_ = now;
        }
        if (StatusLineWanted() && now - lastStatus_ >= STATUS_INTERVAL_MS) {
            ShowStatus(now);
        }
        if (ending) {
            RequestStop();
            return false;
        }
        return true;
    }

    void ShowStatus(ULONGLONG now) {
        CaptureFigures figures;
        figures.runningMs = now - start_;
        for (size_t i = 0; i < 2; ++i) {
            const CapturedLog& log = logs_[i];
            if (log.selected) {
                LogFigures& shown = figures.logs[i];
                shown.name = log.channel == LogChannel::TextLog ? "text" : "timing";
                shown.bytes = log.sink.BytesWritten();
                shown.framed = log.channel == LogChannel::TimingLog;
                shown.errors = log.errors;
                shown.piece = log.sink.Piece();
            }
        }
        figures.adapter = stage_ == Stage::Silent    ? AdapterState::Silent
                          : stage_ == Stage::Reading ? AdapterState::Answering
                                                     : AdapterState::Waiting;
        figures.delivered = lastData_ != 0;
        figures.sinceDataMs = lastData_ != 0 ? now - lastData_ : 0;
        ShowStatusLine(FormatCaptureStatus(figures));
        statusShown_ = true;
        lastStatus_ = now;
    }

    void Note(bool succeeded) { failed_ = failed_ || !succeeded; }

    // A line of the events file only: what standard error need not say.
    void Record(const std::string& line) {
        if (context_.events != nullptr) {
            context_.events->Line(line);
        }
    }

    std::string EndLine(const char* ended, int status) const {
        std::string how = end_.How();
        if (how.empty()) {
            how = stage_ == Stage::Removed ? "the adapter was removed" : ended;
        }
        std::string line = "capture ended " + how + ":";
        for (const CapturedLog& log : logs_) {
            if (log.selected) {
                line += log.channel == LogChannel::TextLog ? " text " : " timing ";
                line += std::to_string(log.sink.BytesWritten()) + " bytes";
                if (log.channel == LogChannel::TimingLog) {
                    line += ", " + std::to_string(log.errors) + " framing errors;";
                } else {
                    line += ";";
                }
            }
        }
        return line + " exit status " + std::to_string(status);
    }

    CaptureContext& context_;
    const CaptureOptions& options_;
    Stage stage_ = Stage::Waiting;
    VekDiagDevice* device_;                 // null while Waiting or Away
    std::unique_ptr<VekDiagDevice> owned_;  // the device when it is the worker's own
    AdapterChoice followed_;                // the adapter first read: what Away waits for
    CapturedLog logs_[2];
    std::string failedChannel_;
    const ULONGLONG start_;
    CaptureEnd end_;
    ULONGLONG lastSync_;
    ULONGLONG lastStatus_;
    ULONGLONG lastData_ = 0;
    // The turns in progress: whether they keep what they read, and their bound.
    bool keeping_ = false;
    ULONGLONG deadline_ = 0;
    bool failed_ = false;
    bool lookNow_ = false;  // Waiting or Away: enumerate at the next look, notified or not
    bool statusShown_ = false;
};

}  // namespace

DWORD WINAPI CaptureWorker(LPVOID parameter) {
    CaptureContext& context = *static_cast<CaptureContext*>(parameter);
    Capture capture(context);
    bool going = capture.Begin();
    bool stopped = false;
    while (going) {
        going = capture.RunPass();
        stopped =
            going && WaitForSingleObject(context.stopEvent, capture.NextWait()) != WAIT_TIMEOUT;
        going = going && !stopped;
    }
    const char* ended = !stopped && StopRequested() == 0 ? "as it could not go on"
                        : Interrupted() != 0             ? "by a stop from the system"
                        : StopRequested() != 0           ? "by ENTER"
                                                         : "at the end of standard input";
    context.exitStatus = capture.Finish(ended);
    // Nobody may be there to press ENTER: a capture that ends by itself ends the command,
    // also when it could not go on.
    if (context.options.Unattended()) {
        RequestStop();
    }
    return 0;
}
