// The command line of vekdiag-sim: `serve` options and the control commands. The
// control client checks a command with the same parser the server runs it with, so
// usage errors are reported without a server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct AdapterIdentity {
    uint16_t index = 0;
    uint16_t type = 0;
};

enum class LogKind { Text, Timing };

enum class FaultKind {
    OpenConfigure,
    OpenText,
    OpenTiming,
    RejectSet,
    RejectQuery,
    PartialRead,
    Clear
};

enum class Verb {
    Add,
    Remove,
    Text,
    Timing,
    Fill,
    Options,
    LogLevel,
    ClearCount,
    Served,
    Requests,
    Fault,
    Stop
};

struct ControlCommand {
    Verb verb = Verb::Stop;
    uint64_t adapter = 0;      // position among the present adapters
    AdapterIdentity identity;  // add
    std::string text;          // text, with \n and \\ decoded
    uint64_t count = 0;        // timing: records; fill: bytes
    uint64_t corrupt = 0;      // timing --corrupt
    LogKind log = LogKind::Text;
    FaultKind fault = FaultKind::Clear;
};

struct ServeOptions {
    std::vector<AdapterIdentity> adapters;
    uint64_t logSize = 65536;
};

inline constexpr uint64_t kMaxLogSize = 1ull << 30;
inline constexpr uint64_t kMaxFillBytes = 1ull << 30;
inline constexpr uint64_t kMaxTimingRecords = 50'000'000;

// INDEX:TYPEHEX, e.g. 0:1A2B.
bool ParseAdapterIdentity(std::string_view text, AdapterIdentity* identity);
// A decimal number without sign, at most max.
bool ParseCount(std::string_view text, uint64_t max, uint64_t* value);
// The text argument's escapes: the two characters \n become a line feed, \\ a backslash.
std::string DecodeText(std::string_view text);

// Arguments after the program name; the error names what is wrong.
std::optional<ControlCommand> ParseControlCommand(const std::vector<std::string>& args,
                                                  std::string* error);
// Arguments after `serve`.
std::optional<ServeOptions> ParseServeOptions(const std::vector<std::string>& args,
                                              std::string* error);

extern const char kUsage[];
