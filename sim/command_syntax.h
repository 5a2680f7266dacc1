// The command line of vekdiag-sim: `serve` options and the control commands. The
// control client checks a command with the same parser the server runs it with, so
// usage errors are reported without a server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/argument_syntax.h"

enum class LogKind { Text, Timing };

enum class FaultKind {
    OpenConfigure,
    OpenText,
    OpenTiming,
    RejectSet,
    RejectQuery,
    ShortReply,
    PartialRead,
    FailRead,
    Overcount,
    Clear
};

// Failures of the plug-and-play side rather than of one adapter.
enum class PnpFault { FailEnumeration, RefuseRegistration, Clear };

enum class Verb {
    Add,
    Remove,
    Restart,
    Hold,
    Release,
    Text,
    Timing,
    Fill,
    Raw,
    ReadSize,
    Stream,
    Delay,
    Options,
    LogLevel,
    ClearCount,
    Served,
    Instance,
    Requests,
    Waiting,
    Subscribers,
    Fault,
    Pnp,
    Stop
};

// How many bytes a read returns at most: what the caller asked for, a fixed size, or a
// pseudo-random size from 1 to 4096 drawn per read.
enum class ReadSizeMode { Full, Fixed, Random };

struct ControlCommand {
    Verb verb = Verb::Stop;
    uint64_t adapter = 0;      // position among the present adapters (served --record: instance)
    AdapterIdentity identity;  // add
    std::string text;          // text with \n and \\ decoded; raw bytes; add --path
    std::string file;          // raw --file
    uint64_t count = 0;        // timing: records; fill: bytes; readsize: size or seed;
                               // stream: bytes per second; delay: milliseconds
    uint64_t corrupt = 0;      // timing --corrupt; stream --corrupt-every
    uint64_t seconds = 0;      // stream --seconds (0: until stopped)
    bool stop = false;         // stream ... stop
    bool written = false;      // stream ... written
    ReadSizeMode readSize = ReadSizeMode::Full;
    std::string recordRoot;  // served --record: the root folder, read without a server
    bool blocks = false;     // served --blocks
    LogKind log = LogKind::Text;
    bool query = false;  // remove --query
    int channel = 0;     // hold: 0 configure, 1 text log, 2 timing log (as Channel)
    FaultKind fault = FaultKind::Clear;
    PnpFault pnp = PnpFault::Clear;
};

struct ServeOptions {
    std::vector<AdapterIdentity> adapters;
    uint64_t logSize = 65536;
};

inline constexpr uint64_t MAX_LOG_SIZE = 1ull << 30;
inline constexpr uint64_t MAX_FILL_BYTES = 1ull << 30;
inline constexpr uint64_t MAX_TIMING_RECORDS = 50'000'000;
inline constexpr uint64_t MAX_READ_SIZE = 4096;
inline constexpr uint64_t MAX_STREAM_RATE = 1ull << 36;
inline constexpr uint64_t MAX_STREAM_SECONDS = 86400;
inline constexpr uint64_t MAX_DELAY_MS = 60000;
// The longest interface path: the longest path Windows takes, in UTF-16 units.
inline constexpr size_t MAX_INTERFACE_PATH = 32767;

// Arguments after the program name; the error names what is wrong.
std::optional<ControlCommand> ParseControlCommand(const std::vector<std::string>& args,
                                                  std::string* error);
// Arguments after `serve`.
std::optional<ServeOptions> ParseServeOptions(const std::vector<std::string>& args,
                                              std::string* error);

extern const char USAGE[];
