#include "sim/circular_log.h"

#include <algorithm>
#include <cstring>

CircularLog::CircularLog(size_t capacity) : buffer_(std::max<size_t>(capacity, 1)) {}

void CircularLog::Append(std::string_view bytes) {
    const size_t capacity = buffer_.size();
    if (bytes.empty()) {
        return;
    }
    if (bytes.size() >= capacity) {
        // Only the newest bytes survive.
        std::memcpy(buffer_.data(), bytes.data() + bytes.size() - capacity, capacity);
        head_ = 0;
        size_ = capacity;
        return;
    }
    const size_t overflow = size_ + bytes.size() > capacity ? size_ + bytes.size() - capacity : 0;
    head_ = (head_ + overflow) % capacity;
    size_ -= overflow;

    const size_t tail = (head_ + size_) % capacity;
    const size_t first = std::min(bytes.size(), capacity - tail);
    std::memcpy(buffer_.data() + tail, bytes.data(), first);
    std::memcpy(buffer_.data(), bytes.data() + first, bytes.size() - first);
    size_ += bytes.size();
}

size_t CircularLog::Take(char* out, size_t max) {
    const size_t capacity = buffer_.size();
    const size_t count = std::min(max, size_);
    const size_t first = std::min(count, capacity - head_);
    std::memcpy(out, buffer_.data() + head_, first);
    std::memcpy(out + first, buffer_.data(), count - first);
    head_ = (head_ + count) % capacity;
    size_ -= count;
    return count;
}
