#include "sim/command_syntax.h"

#include <algorithm>
#include <charconv>
#include <iterator>

const char kUsage[] =
    "usage: vekdiag-sim serve [--adapter INDEX:TYPEHEX]... [--no-adapter] [--log-size BYTES]\n"
    "       vekdiag-sim add INDEX:TYPEHEX\n"
    "       vekdiag-sim remove N\n"
    "       vekdiag-sim text N STRING...\n"
    "       vekdiag-sim timing N COUNT [--corrupt K]\n"
    "       vekdiag-sim fill N text|timing BYTES\n"
    "       vekdiag-sim options|loglevel|clearcount|requests N\n"
    "       vekdiag-sim served N text|timing\n"
    "       vekdiag-sim fault N open-configure|open-text|open-timing|reject-set|reject-query|"
    "partial-read|clear\n"
    "       vekdiag-sim stop\n";

namespace {

template <typename T>
bool ParseWhole(std::string_view text, int base, T* value) {
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, *value, base);
    return result.ec == std::errc() && result.ptr == end;
}

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
    } kFaults[] = {
        {"open-configure", FaultKind::OpenConfigure},
        {"open-text", FaultKind::OpenText},
        {"open-timing", FaultKind::OpenTiming},
        {"reject-set", FaultKind::RejectSet},
        {"reject-query", FaultKind::RejectQuery},
        {"partial-read", FaultKind::PartialRead},
        {"clear", FaultKind::Clear},
    };
    for (const auto& entry : kFaults) {
        if (text == entry.name) {
            *fault = entry.kind;
            return true;
        }
    }
    return false;
}

// Verbs taking just N.
bool FindQueryVerb(std::string_view name, Verb* verb) {
    static constexpr struct {
        const char* name;
        Verb verb;
    } kVerbs[] = {
        {"remove", Verb::Remove},     {"options", Verb::Options},
        {"loglevel", Verb::LogLevel}, {"clearcount", Verb::ClearCount},
        {"requests", Verb::Requests},
    };
    for (const auto& entry : kVerbs) {
        if (name == entry.name) {
            *verb = entry.verb;
            return true;
        }
    }
    return false;
}

}  // namespace

bool ParseAdapterIdentity(std::string_view text, AdapterIdentity* identity) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    std::string_view type = text.substr(colon + 1);
    if (type.size() > 2 && type[0] == '0' && (type[1] == 'x' || type[1] == 'X')) {
        type.remove_prefix(2);
    }
    return ParseWhole(text.substr(0, colon), 10, &identity->index) && type.size() <= 4 &&
           ParseWhole(type, 16, &identity->type);
}

bool ParseCount(std::string_view text, uint64_t max, uint64_t* value) {
    return ParseWhole(text, 10, value) && *value <= max;
}

std::string DecodeText(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == '\\')) {
            decoded.push_back(text[i + 1] == 'n' ? '\n' : '\\');
            ++i;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

std::optional<ControlCommand> ParseControlCommand(const std::vector<std::string>& args,
                                                  std::string* error) {
    ControlCommand command;
    const size_t count = args.size();
    auto fail = [&](const std::string& why) {
        *error = why;
        return std::nullopt;
    };
    if (count == 0) {
        return fail("no command");
    }
    const std::string& name = args[0];
    if (name == "stop") {
        if (count != 1) {
            return fail("stop takes no arguments");
        }
        command.verb = Verb::Stop;
        return command;
    }
    if (name == "add") {
        command.verb = Verb::Add;
        if (count != 2 || !ParseAdapterIdentity(args[1], &command.identity)) {
            return fail("add wants INDEX:TYPEHEX, e.g. 0:1A2B");
        }
        return command;
    }
    static constexpr const char* kAdapterVerbs[] = {"remove",   "options", "loglevel", "clearcount",
                                                    "requests", "text",    "timing",   "fill",
                                                    "served",   "fault"};
    if (std::find(std::begin(kAdapterVerbs), std::end(kAdapterVerbs), name) ==
        std::end(kAdapterVerbs)) {
        return fail("unknown command '" + name + "'");
    }
    if (count < 2 || !ParseCount(args[1], UINT32_MAX, &command.adapter)) {
        return fail(name + " wants an adapter position N");
    }
    if (FindQueryVerb(name, &command.verb)) {
        if (count != 2) {
            return fail(name + " takes only N");
        }
        return command;
    }
    if (name == "text") {
        command.verb = Verb::Text;
        if (count < 3) {
            return fail("text wants N STRING...");
        }
        for (size_t i = 2; i < count; ++i) {
            command.text += (i > 2 ? " " : "") + DecodeText(args[i]);
        }
        return command;
    }
    if (name == "timing") {
        command.verb = Verb::Timing;
        const bool plain = count == 3;
        const bool corrupt = count == 5 && args[3] == "--corrupt";
        if ((!plain && !corrupt) || !ParseCount(args[2], kMaxTimingRecords, &command.count) ||
            (corrupt && !ParseCount(args[4], command.count, &command.corrupt))) {
            return fail("timing wants N COUNT [--corrupt K] with K at most COUNT");
        }
        return command;
    }
    if (name == "fill") {
        command.verb = Verb::Fill;
        if (count != 4 || !ParseLog(args[2], &command.log) ||
            !ParseCount(args[3], kMaxFillBytes, &command.count)) {
            return fail("fill wants N text|timing BYTES (BYTES at most 1 GiB)");
        }
        return command;
    }
    if (name == "served") {
        command.verb = Verb::Served;
        if (count != 3 || !ParseLog(args[2], &command.log)) {
            return fail("served wants N text|timing");
        }
        return command;
    }
    command.verb = Verb::Fault;
    if (count == 3 && ParseFault(args[2], &command.fault)) {
        return command;
    }
    return fail(
        "fault wants N and one of open-configure, open-text, open-timing, "
        "reject-set, reject-query, partial-read, clear");
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
            if (!ParseCount(args[++i], kMaxLogSize, &options.logSize) || options.logSize == 0) {
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
