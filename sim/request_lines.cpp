#include "sim/request_lines.h"

#include <cstdio>
#include <cstring>

namespace {

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string ErrorSuffix(uint32_t error) {
    return error == 0 ? std::string() : " -> error " + std::to_string(error);
}

std::string InputWords(std::string_view input) {
    if (input.empty()) {
        return "-";
    }
    std::string words;
    size_t at = 0;
    for (; at + 4 <= input.size(); at += 4) {
        uint32_t word = 0;
        std::memcpy(&word, input.data() + at, sizeof word);
        words += (at > 0 ? "," : "") + Hex(word, 8);
    }
    for (; at < input.size(); ++at) {
        words += (at > 0 ? "," : "") + Hex(static_cast<uint8_t>(input[at]), 2);
    }
    return words;
}

}  // namespace

std::string OpenLine(std::string_view channel, uint32_t access, uint32_t share, uint32_t error) {
    return "open " + std::string(channel) + " access=" + Hex(access, 8) +
           " share=" + Hex(share, 1) + ErrorSuffix(error);
}

std::string IoctlLine(uint32_t code, std::string_view input, uint32_t outCapacity, uint32_t error) {
    return "ioctl " + Hex(code, 8) + " in=" + InputWords(input) +
           " out=" + std::to_string(outCapacity) + ErrorSuffix(error);
}

std::string CloseLine(std::string_view channel) {
    return "close " + std::string(channel);
}
