// The checker against the reference framer: the input is a stream and a way of
// cutting it into blocks; per block both must find the same errors, and the checker
// must carry exactly the bytes that the reference has not framed yet.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "framing/timing_log_checker.h"
#include "tests/support/reference_framer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    // The first byte picks the block sizes: a fixed size, or sizes taken from the data.
    const uint8_t mode = data[0];
    ++data;
    --size;
    TimingLogChecker checker;
    ReferenceFramer reference;
    size_t at = 0;
    for (size_t turn = 0;; ++turn) {
        size_t length = mode < 128 ? mode % 64 : (size == 0 ? 0 : data[(at + turn) % size] % 40);
        if (length == 0 && turn % 2 == 1) {
            length = 1;  // empty blocks now and then, but always progress
        }
        length = std::min(length, size - at);
        // Each block in an allocation of its own size: a read past it is caught.
        std::unique_ptr<uint8_t[]> block(new uint8_t[length == 0 ? 1 : length]);
        std::memcpy(block.get(), data + at, length);
        const int32_t errors = checker.CheckBlock(block.get(), static_cast<int32_t>(length));
        const int expected = reference.AddBlock(block.get(), length);
        at += length;
        const size_t carried = static_cast<size_t>(checker.carryCount);
        if (errors < 0 || errors != expected || checker.carryCount < 0 || carried > 25 ||
            carried != reference.Pending() ||
            std::memcmp(checker.carry, data + at - carried, carried) != 0) {
            std::abort();
        }
        if (at == size && turn > 0) {
            break;
        }
    }
    return 0;
}
