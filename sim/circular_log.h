// A driver log of fixed capacity: appending to a full log overwrites its oldest bytes,
// and reading takes bytes from the oldest on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class CircularLog {
public:
    explicit CircularLog(size_t capacity);

    void Append(std::string_view bytes);
    // Moves up to max of the oldest bytes to out; returns how many.
    size_t Take(char* out, size_t max);

    size_t size() const { return size_; }
    size_t capacity() const { return buffer_.size(); }

private:
    std::vector<char> buffer_;
    size_t head_ = 0;  // oldest byte
    size_t size_ = 0;
};
