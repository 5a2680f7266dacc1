#include "sim/command_syntax.h"

#include <algorithm>
#include <iterator>

const char USAGE[] =
    "usage: vekdiag-sim serve [--adapter INDEX:TYPEHEX]... [--no-adapter] [--log-size BYTES]\n"
    "       vekdiag-sim add INDEX:TYPEHEX [--path TEXT]\n"
    "       vekdiag-sim remove N [--query]\n"
    "       vekdiag-sim restart N\n"
    "       vekdiag-sim hold N configure|text|timing\n"
    "       vekdiag-sim release N\n"
    "       vekdiag-sim text N STRING...\n"
    "       vekdiag-sim timing N COUNT [--corrupt K]\n"
    "       vekdiag-sim fill N text|timing BYTES\n"
    "       vekdiag-sim raw N text|timing HEX... | raw N text|timing --file PATH\n"
    "       vekdiag-sim readsize N SIZE|full | readsize N random SEED\n"
    "       vekdiag-sim stream N text|timing BYTES_PER_SECOND [--seconds S] [--corrupt-every K]\n"
    "       vekdiag-sim stream N text|timing stop|written\n"
    "       vekdiag-sim delay N MS\n"
    "       vekdiag-sim options|loglevel|clearcount|requests|instance|waiting N\n"
    "       vekdiag-sim served N text|timing [--blocks]\n"
    "       vekdiag-sim served --record ROOT INSTANCE text|timing [--blocks]\n"
    "       vekdiag-sim fault N open-configure|open-text|open-timing|reject-set|reject-query|"
    "short-reply|partial-read|fail-read|overcount|clear\n"
    "       vekdiag-sim pnp fail-enumeration|refuse-registration|clear\n"
    "       vekdiag-sim subscribers\n"
    "       vekdiag-sim stop\n";

namespace {

using Rest = std::vector<std::string_view>;

bool ParseLog(std::string_view text, LogKind* log) {
    if (text == "text") {
        *log = LogKind::Text;
    } else if (text == "timing") {
        *log = LogKind::Timing;
    } else {
        return false;
    }
    return true;
}

bool ParseFault(std::string_view text, FaultKind* fault) {
    static constexpr struct {
        const char* name;
        FaultKind kind;
    } FAULTS[] = {
        {"open-configure", FaultKind::OpenConfigure}, {"open-text", FaultKind::OpenText},
        {"open-timing", FaultKind::OpenTiming},       {"reject-set", FaultKind::RejectSet},
        {"reject-query", FaultKind::RejectQuery},     {"short-reply", FaultKind::ShortReply},
        {"partial-read", FaultKind::PartialRead},     {"fail-read", FaultKind::FailRead},
        {"overcount", FaultKind::Overcount},          {"clear", FaultKind::Clear},
    };
    for (const auto& entry : FAULTS) {
        if (text == entry.name) {
            *fault = entry.kind;
            return true;
        }
    }
    return false;
}

// The parsers of each verb see the arguments after N (after the verb when it takes no N).

bool ParseNothing(const Rest& rest, ControlCommand* /*command*/) {
    return rest.empty();
}

bool ParseAdd(const Rest& rest, ControlCommand* command) {
    if (rest.empty() || !ParseAdapterIdentity(rest[0], &command->identity)) {
        return false;
    }
    if (rest.size() == 1) {
        return true;
    }
    if (rest.size() != 3 || rest[1] != "--path") {
        return false;
    }
    const std::optional<size_t> length = Utf16Length(rest[2]);
    command->text = rest[2];
    return length && *length > 0 && *length <= MAX_INTERFACE_PATH;
}

bool ParseRemove(const Rest& rest, ControlCommand* command) {
    command->query = rest.size() == 1 && rest[0] == "--query";
    return rest.empty() || command->query;
}

bool ParseHold(const Rest& rest, ControlCommand* command) {
    static constexpr const char* CHANNEL_WORDS[] = {"configure", "text", "timing"};
    for (int channel = 0; channel < static_cast<int>(std::size(CHANNEL_WORDS)); ++channel) {
        if (rest.size() == 1 && rest[0] == CHANNEL_WORDS[channel]) {
            command->channel = channel;
            return true;
        }
    }
    return false;
}

bool ParseText(const Rest& rest, ControlCommand* command) {
    for (size_t i = 0; i < rest.size(); ++i) {
        command->text += (i > 0 ? " " : "") + DecodeText(rest[i]);
    }
    return !rest.empty();
}

bool ParseTiming(const Rest& rest, ControlCommand* command) {
    const bool plain = rest.size() == 1;
    const bool corrupt = rest.size() == 3 && rest[1] == "--corrupt";
    return (plain || corrupt) && ParseCount(rest[0], MAX_TIMING_RECORDS, &command->count) &&
           (!corrupt || ParseCount(rest[2], command->count, &command->corrupt));
}

bool ParseFill(const Rest& rest, ControlCommand* command) {
    return rest.size() == 2 && ParseLog(rest[0], &command->log) &&
           ParseCount(rest[1], MAX_FILL_BYTES, &command->count);
}

bool ParseRaw(const Rest& rest, ControlCommand* command) {
    if (rest.size() < 2 || !ParseLog(rest[0], &command->log)) {
        return false;
    }
    if (rest[1] == "--file") {
        command->file = rest.size() == 3 ? rest[2] : "";
        return !command->file.empty();
    }
    std::string hex;
    for (size_t i = 1; i < rest.size(); ++i) {
        hex += rest[i];
    }
    return DecodeHex(hex, &command->text) && !command->text.empty();
}

bool ParseReadSize(const Rest& rest, ControlCommand* command) {
    if (rest.size() == 1 && rest[0] == "full") {
        command->readSize = ReadSizeMode::Full;
        return true;
    }
    if (rest.size() == 2 && rest[0] == "random") {
        command->readSize = ReadSizeMode::Random;
        return ParseCount(rest[1], UINT32_MAX, &command->count);
    }
    command->readSize = ReadSizeMode::Fixed;
    return rest.size() == 1 && ParseCount(rest[0], MAX_READ_SIZE, &command->count) &&
           command->count > 0;
}

bool ParseStream(const Rest& rest, ControlCommand* command) {
    if (rest.size() < 2 || !ParseLog(rest[0], &command->log)) {
        return false;
    }
    if (rest[1] == "stop" || rest[1] == "written") {
        command->stop = rest[1] == "stop";
        command->written = !command->stop;
        return rest.size() == 2;
    }
    if (!ParseCount(rest[1], MAX_STREAM_RATE, &command->count) || command->count == 0) {
        return false;
    }
    for (size_t i = 2; i < rest.size(); i += 2) {
        const bool hasValue = i + 1 < rest.size();
        if (rest[i] == "--seconds" && hasValue) {
            if (!ParseCount(rest[i + 1], MAX_STREAM_SECONDS, &command->seconds) ||
                command->seconds == 0) {
                return false;
            }
        } else if (rest[i] == "--corrupt-every" && hasValue && command->log == LogKind::Timing) {
            if (!ParseCount(rest[i + 1], UINT32_MAX, &command->corrupt) || command->corrupt == 0) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

bool ParseDelay(const Rest& rest, ControlCommand* command) {
    return rest.size() == 1 && ParseCount(rest[0], MAX_DELAY_MS, &command->count);
}

// N text|timing [--blocks], or --record ROOT INSTANCE text|timing [--blocks].
bool ParseServed(const Rest& rest, ControlCommand* command) {
    size_t at = 0;
    if (rest.size() >= 2 && rest[0] == "--record") {
        command->recordRoot = rest[1];
        at = 2;
        if (command->recordRoot.empty()) {
            return false;
        }
    }
    if (rest.size() < at + 2 || rest.size() > at + 3 ||
        !ParseCount(rest[at], UINT32_MAX, &command->adapter) ||
        !ParseLog(rest[at + 1], &command->log)) {
        return false;
    }
    command->blocks = rest.size() == at + 3;
    return !command->blocks || rest[at + 2] == "--blocks";
}

bool ParseFaultArguments(const Rest& rest, ControlCommand* command) {
    return rest.size() == 1 && ParseFault(rest[0], &command->fault);
}

bool ParsePnp(const Rest& rest, ControlCommand* command) {
    static constexpr struct {
        const char* name;
        PnpFault fault;
    } PNP_FAULTS[] = {{"fail-enumeration", PnpFault::FailEnumeration},
                      {"refuse-registration", PnpFault::RefuseRegistration},
                      {"clear", PnpFault::Clear}};
    for (const auto& entry : PNP_FAULTS) {
        if (rest.size() == 1 && rest[0] == entry.name) {
            command->pnp = entry.fault;
            return true;
        }
    }
    return false;
}

struct VerbSyntax {
    const char* name;
    Verb verb;
    bool takesAdapter;
    bool (*parse)(const Rest& rest, ControlCommand* command);
    const char* wants;  // said when the arguments do not fit
};

constexpr VerbSyntax VERBS[] = {
    {"add", Verb::Add, false, ParseAdd,
     "add wants INDEX:TYPEHEX, e.g. 0:1A2B, and may take --path TEXT (UTF-8, 1 to 32767 "
     "characters)"},
    {"remove", Verb::Remove, true, ParseRemove, "remove wants N and may take --query"},
    {"restart", Verb::Restart, true, ParseNothing, "restart takes only N"},
    {"hold", Verb::Hold, true, ParseHold, "hold wants N configure|text|timing"},
    {"release", Verb::Release, true, ParseNothing, "release takes only N"},
    {"text", Verb::Text, true, ParseText, "text wants N STRING..."},
    {"timing", Verb::Timing, true, ParseTiming,
     "timing wants N COUNT [--corrupt K] with K at most COUNT"},
    {"fill", Verb::Fill, true, ParseFill, "fill wants N text|timing BYTES (BYTES at most 1 GiB)"},
    {"raw", Verb::Raw, true, ParseRaw,
     "raw wants N text|timing and either hexadecimal bytes (pairs of digits) or --file PATH"},
    {"readsize", Verb::ReadSize, true, ParseReadSize,
     "readsize wants N and SIZE (1 to 4096), full, or random SEED"},
    {"stream", Verb::Stream, true, ParseStream,
     "stream wants N text|timing and stop, written, or BYTES_PER_SECOND [--seconds S] "
     "[--corrupt-every K] (K for timing only)"},
    {"delay", Verb::Delay, true, ParseDelay, "delay wants N MS (MS at most 60000)"},
    {"options", Verb::Options, true, ParseNothing, "options takes only N"},
    {"loglevel", Verb::LogLevel, true, ParseNothing, "loglevel takes only N"},
    {"clearcount", Verb::ClearCount, true, ParseNothing, "clearcount takes only N"},
    {"requests", Verb::Requests, true, ParseNothing, "requests takes only N"},
    {"instance", Verb::Instance, true, ParseNothing, "instance takes only N"},
    {"waiting", Verb::Waiting, true, ParseNothing, "waiting takes only N"},
    {"served", Verb::Served, false, ParseServed,
     "served wants N text|timing [--blocks] or --record ROOT INSTANCE text|timing [--blocks]"},
    {"fault", Verb::Fault, true, ParseFaultArguments,
     "fault wants N and one of open-configure, open-text, open-timing, reject-set, "
     "reject-query, short-reply, partial-read, fail-read, overcount, clear"},
    {"pnp", Verb::Pnp, false, ParsePnp,
     "pnp wants one of fail-enumeration, refuse-registration, clear"},
    {"subscribers", Verb::Subscribers, false, ParseNothing, "subscribers takes no arguments"},
    {"stop", Verb::Stop, false, ParseNothing, "stop takes no arguments"},
};

}  // namespace

std::optional<ControlCommand> ParseControlCommand(const std::vector<std::string>& args,
                                                  std::string* error) {
    if (args.empty()) {
        *error = "no command";
        return std::nullopt;
    }
    const auto syntax = std::find_if(std::begin(VERBS), std::end(VERBS),
                                     [&](const VerbSyntax& verb) { return args[0] == verb.name; });
    if (syntax == std::end(VERBS)) {
        *error = "unknown command '" + args[0] + "'";
        return std::nullopt;
    }
    ControlCommand command;
    command.verb = syntax->verb;
    size_t first = 1;
    if (syntax->takesAdapter) {
        if (args.size() < 2 || !ParseCount(args[1], UINT32_MAX, &command.adapter)) {
            *error = args[0] + " wants an adapter position N";
            return std::nullopt;
        }
        first = 2;
    }
    const Rest rest(args.begin() + static_cast<std::ptrdiff_t>(first), args.end());
    if (!syntax->parse(rest, &command)) {
        *error = syntax->wants;
        return std::nullopt;
    }
    return command;
}

std::optional<ServeOptions> ParseServeOptions(const std::vector<std::string>& args,
                                              std::string* error) {
    ServeOptions options;
    bool noAdapter = false;
    bool explicitAdapters = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--no-adapter") {
            noAdapter = true;
        } else if (arg == "--adapter" && hasValue) {
            AdapterIdentity identity;
            if (!ParseAdapterIdentity(args[++i], &identity)) {
                *error = "--adapter wants INDEX:TYPEHEX, e.g. 0:1A2B";
                return std::nullopt;
            }
            options.adapters.push_back(identity);
            explicitAdapters = true;
        } else if (arg == "--log-size" && hasValue) {
            if (!ParseCount(args[++i], MAX_LOG_SIZE, &options.logSize) || options.logSize == 0) {
                *error = "--log-size wants a byte count from 1 to 1073741824";
                return std::nullopt;
            }
        } else {
            *error = "unexpected argument '" + arg + "'";
            return std::nullopt;
        }
    }
    if (noAdapter && explicitAdapters) {
        *error = "--no-adapter and --adapter exclude each other";
        return std::nullopt;
    }
    if (!noAdapter && !explicitAdapters) {
        options.adapters.push_back(AdapterIdentity{0, 0x1A2B});
    }
    return options;
}
