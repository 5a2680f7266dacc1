#include "checkfile/check_entry_point.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/report.h"
#include "checkfile/check_status.h"
#include "checkfile/check_texts.h"
#include "checkfile/check_timing_file.h"
#include "platform/log_files.h"

namespace {

enum class SwitchAction { Help, EndOfSwitches };

struct CheckSwitch {
    const char* spelling;
    SwitchAction action;
};

const CheckSwitch CHECK_SWITCHES[] = {
    {"-h", SwitchAction::Help}, {"--help", SwitchAction::Help},      {"-?", SwitchAction::Help},
    {"/?", SwitchAction::Help}, {"--", SwitchAction::EndOfSwitches},
};

const CheckSwitch* FindSwitch(const char* argument) {
    for (const CheckSwitch& entry : CHECK_SWITCHES) {
        if (std::strcmp(argument, entry.spelling) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

// Large pieces keep the reads few; one buffer for every file keeps the memory fixed.
constexpr size_t READ_SIZE = size_t{1} << 20;

int UsageError(const std::string& message) {
    ReportFailure("%s", message.c_str());
    PrintCheckUsage();
    return CHECK_STATUS_NOT_CHECKED;
}

}  // namespace

int RunQuorvinCheck(int argc, char** argv) {
    std::vector<std::string> files;
    bool switchesEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        const CheckSwitch* found = switchesEnded ? nullptr : FindSwitch(argument);
        if (found != nullptr && found->action == SwitchAction::Help) {
            PrintCheckUsage();
            return CHECK_STATUS_CLEAN;
        }
        if (found != nullptr) {
            switchesEnded = true;
        } else if (!switchesEnded && argument[0] == '-' && argument[1] != '\0') {
            return UsageError("unknown switch " + Printable(argument));
        } else {
            // A pattern that matches nothing is checked as the file it names, which
            // cannot be opened: said as any missing file is.
            const std::vector<std::string> matches = ExpandFileArgument(argument);
            if (matches.empty()) {
                files.emplace_back(argument);
            }
            files.insert(files.end(), matches.begin(), matches.end());
        }
    }
    if (files.empty()) {
        return UsageError("no file to check");
    }
    // Allocated, not static: a static buffer would be a megabyte of the Windows program.
    const std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[READ_SIZE]);
    if (buffer == nullptr) {
        ReportFailure("no memory for the read buffer");
        return CHECK_STATUS_NOT_CHECKED;
    }
    int status = CHECK_STATUS_CLEAN;
    for (const std::string& file : files) {
        status = std::max(status, CheckTimingFile(file.c_str(), buffer.get(), READ_SIZE));
        if (ConsoleFailed() != 0) {
            break;
        }
    }
    return status;
}
