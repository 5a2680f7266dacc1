#include "logs/text_watch.h"

#include "base/ascii.h"

TextWatch::TextWatch(const char* text) : text_(text) {
    for (char& c : text_) {
        c = AsciiUpper(c);
    }
    // The longest proper prefix of each prefix that is also its suffix: the search never
    // steps back in the log, whatever the text repeats of itself.
    fallback_.assign(text_.size() + 1, 0);
    uint32_t k = 0;
    for (uint32_t i = 1; i < text_.size(); ++i) {
        while (k > 0 && text_[i] != text_[k]) {
            k = fallback_[k];
        }
        if (text_[i] == text_[k]) {
            ++k;
        }
        fallback_[i + 1] = k;
    }
}

bool TextWatch::Feed(const uint8_t* bytes, uint32_t size) {
    if (seen_ || text_.empty()) {
        return seen_;
    }
    for (uint32_t i = 0; i < size; ++i) {
        const char c = AsciiUpper(static_cast<char>(bytes[i]));
        if (c == '\n') {
            matched_ = 0;
            continue;
        }
        while (matched_ > 0 && c != text_[matched_]) {
            matched_ = fallback_[matched_];
        }
        if (c == text_[matched_] && ++matched_ == text_.size()) {
            seen_ = true;
            return true;
        }
    }
    return false;
}
