#include "sim/argument_syntax.h"

#include <algorithm>
#include <charconv>

#include "sim/wire.h"

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

bool DecodeHex(std::string_view text, std::string* bytes) {
    if (text.size() % 2 != 0) {
        return false;
    }
    bytes->clear();
    bytes->reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        uint8_t byte = 0;
        if (!ParseWhole(text.substr(i, 2), 16, &byte)) {
            return false;
        }
        bytes->push_back(static_cast<char>(byte));
    }
    return true;
}

std::optional<size_t> Utf16Length(std::string_view text) {
    bool valid = false;
    const std::u32string points = wire::DecodeUtf8(text, &valid);
    if (!valid) {
        return std::nullopt;
    }
    // Beyond the Basic Multilingual Plane a code point takes a surrogate pair.
    const auto pairs =
        std::count_if(points.begin(), points.end(), [](char32_t p) { return p > 0xFFFF; });
    return points.size() + static_cast<size_t>(pairs);
}
