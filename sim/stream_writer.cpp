#include "sim/stream_writer.h"

#include <algorithm>
#include <utility>

StreamWriter::StreamWriter(uint64_t bytesPerSecond, uint64_t seconds, Step step) {
    const auto limit = seconds == 0 ? std::chrono::steady_clock::duration::max()
                                    : std::chrono::steady_clock::duration(std::chrono::seconds(
                                          static_cast<std::chrono::seconds::rep>(seconds)));
    thread_ = std::thread(&StreamWriter::Run, this, bytesPerSecond, limit, std::move(step));
}

uint64_t StreamWriter::Stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    stopped_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    return written_.load();
}

void StreamWriter::Run(uint64_t bytesPerSecond, std::chrono::steady_clock::duration limit,
                       const Step& step) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const double rate = static_cast<double>(bytesPerSecond);
    // The least worth waking up for: a millisecond's worth, at most a step.
    const uint64_t quantum = std::clamp<uint64_t>(bytesPerSecond / 1000, 1, STEP_BYTES);
    uint64_t written = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        const Clock::duration elapsed = Clock::now() - start;
        if (elapsed >= limit) {
            break;
        }
        const auto due =
            static_cast<uint64_t>(rate * std::chrono::duration<double>(elapsed).count());
        if (written + quantum > due) {
            // Ahead of the rate: wait until a quantum is due, or for Stop.
            const double wait = static_cast<double>(written + quantum - due) / rate;
            stopped_.wait_for(lock, std::chrono::duration<double>(wait), [this] { return stop_; });
            continue;
        }
        const size_t bytes = static_cast<size_t>(std::min<uint64_t>(due - written, STEP_BYTES));
        lock.unlock();
        const bool more = step(bytes);
        lock.lock();
        if (!more) {
            break;
        }
        written += bytes;
        written_.store(written);
    }
}
