#include "cli/command_handlers.h"

#include "adapter/adapter_choice.h"
#include "adapter/vekdiag_device_list.h"
#include "base/exit_status.h"
#include "base/report.h"
#include "base/stop_request.h"
#include "cli/command_line.h"
#include "cli/switch_values.h"
#include "logs/log_reader.h"
#include "logs/log_selection.h"
#include "logs/log_sinks.h"

namespace {

// One log into its sink: the sink is created first, so a named file exists (empty)
// even when the channel cannot be read.
int DumpLog(VekDiagDevice& device, LogChannel channel, const char* fileName) {
    LogSink sink;
    const int opened = channel == LogChannel::TextLog ? OpenTextLogSink(fileName, &sink)
                                                      : OpenTimingLogSink(fileName, &sink);
    if (opened == 0) {
        return EXIT_STATUS_FAILED;
    }
    int status = EXIT_STATUS_OK;
    const std::string path = Printable(LogChannelPath(device, channel).c_str());
    if (OpenLogChannel(device, channel) == 0) {
        ReportFailure("cannot open %s", path.c_str());
        status = EXIT_STATUS_FAILED;
    } else if (device.DrainLog(&sink, channel) == 0) {
        // The system may have asked for the adapter meanwhile: the dump let go of it.
        if (device.Removal() != DeviceRemoval::None) {
            ReportFailure("reading %s stopped: the system is removing the adapter", path.c_str());
        } else {
            ReportFailure("reading %s failed", path.c_str());
        }
        status = EXIT_STATUS_FAILED;
    }
    if (sink.Close() == 0) {
        status = EXIT_STATUS_FAILED;
    }
    return status;
}

int Dump(VekDiagDevice& device, const LogSelection& selection) {
    int status = EXIT_STATUS_OK;
    if (WantsTextLog(selection) &&
        DumpLog(device, LogChannel::TextLog, selection.textLogName) != EXIT_STATUS_OK) {
        status = EXIT_STATUS_FAILED;
    }
    // An interrupt ends the dump after the block in hand; the timing log stays unread.
    if (StopRequested() == 0 && WantsTimingLog(selection) &&
        DumpLog(device, LogChannel::TimingLog, selection.timingLogName) != EXIT_STATUS_OK) {
        status = EXIT_STATUS_FAILED;
    }
    if (Interrupted() != 0) {
        ReportFailure("the dump was interrupted");
        status = EXIT_STATUS_FAILED;
    }
    return status;
}

}  // namespace

int DumpCommand(const CommandLine& commandLine) {
    const VekDiagDeviceList list;
    LogSelection selection;
    int status = CheckLogSelection(commandLine, &selection);
    if (status != EXIT_STATUS_OK) {
        return status;
    }
    AdapterChoice choice;
    status = ParseAdapterSwitch(commandLine, &choice.byIndex, &choice.index);
    VekDiagDevice* device =
        status == EXIT_STATUS_OK ? ChooseAdapter(choice, list, &status) : nullptr;
    if (device == nullptr) {
        return status;
    }
    device->CloseConfigureChannel();  // only the log channels are read
    BeginInterruptibleWork();
    status = Dump(*device, selection);
    EndInterruptibleWork();
    return status;
}
