// Looks for a text in the lines of the text log as its blocks pass by, without regard to
// ASCII letter case (every argument arrives upper-cased). The state is kept from block
// to block, so a line that reaches the program in two reads, or in two turns, is still
// found; a line feed starts the search afresh, so the text is found only within a line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TextWatch {
public:
    explicit TextWatch(const char* text);

    // Looks through the next bytes of the log; true once the text has been seen.
    bool Feed(const uint8_t* bytes, uint32_t size);
    bool Seen() const { return seen_; }
    const std::string& Text() const { return text_; }

private:
    std::string text_;                // upper case
    std::vector<uint32_t> fallback_;  // for each matched length, where to go on after a miss
    uint32_t matched_ = 0;
    bool seen_ = false;
};
