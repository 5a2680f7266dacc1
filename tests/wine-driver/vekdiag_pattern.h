/* The contents the test driver generates: one endless stream per log whose byte at
 * each position is fixed, so that the control program can write out what any run of
 * the generator appended. Text: numbered lines of 64 bytes. Timing: well-formed
 * records, payload lengths 0 to 12 in turn, no byte of them but the sync word 0xA0 or
 * above. Plain C with no library calls, built into the driver and its control program. */
#ifndef VEKDIAG_PATTERN_H
#define VEKDIAG_PATTERN_H

#include "vekdiag_test.h"

#define VT_LINE_SIZE 64u
#define VT_CYCLE_RECORDS 13u
#define VT_HEADER_SIZE 14u
/* 13 headers and payloads of 0 + 1 + ... + 12 bytes */
#define VT_CYCLE_SIZE (VT_CYCLE_RECORDS * VT_HEADER_SIZE + 78u)

static inline unsigned vt_text_line(unsigned long long line, unsigned char* out) {
    static const char prefix[] = "generated line ";
    unsigned at = 0;
    for (; prefix[at] != 0; ++at) {
        out[at] = (unsigned char)prefix[at];
    }
    unsigned long long n = line;
    for (unsigned digit = 0; digit < 10; ++digit, n /= 10) {
        out[at + 9 - digit] = (unsigned char)('0' + n % 10);
    }
    at += 10;
    out[at++] = ' ';
    for (unsigned k = 0; at < VT_LINE_SIZE - 1; ++k) {
        out[at++] = (unsigned char)('a' + (line + k) % 26);
    }
    out[at++] = '\n';
    return at;
}

static inline unsigned vt_timing_cycle(unsigned long long cycle, unsigned char* out) {
    unsigned at = 0;
    for (unsigned r = 0; r < VT_CYCLE_RECORDS; ++r) {
        const unsigned long long record = cycle * VT_CYCLE_RECORDS + r;
        out[at++] = 0xA0;
        out[at++] = 0xF5;
        for (unsigned k = 0; k < 11; ++k) {
            out[at++] = (unsigned char)((record >> (k % 4 * 8)) + k * 5) & 0x7F;
        }
        out[at++] = (unsigned char)r; /* the payload length */
        for (unsigned k = 0; k < r; ++k) {
            out[at++] = (unsigned char)(record * 3 + k) & 0x7F;
        }
    }
    return at;
}

/* Writes the bytes at positions from to from + count - 1 of one log's stream. */
static inline void vt_pattern(unsigned channel, unsigned long long from, unsigned char* out,
                              unsigned long count) {
    unsigned char unit[VT_CYCLE_SIZE];
    const unsigned size = channel == VT_TEXT_LOG ? VT_LINE_SIZE : VT_CYCLE_SIZE;
    while (count > 0) {
        const unsigned long long index = from / size;
        unsigned offset = (unsigned)(from % size);
        if (channel == VT_TEXT_LOG) {
            vt_text_line(index, unit);
        } else {
            vt_timing_cycle(index, unit);
        }
        for (; offset < size && count > 0; ++offset, ++from, --count) {
            *out++ = unit[offset];
        }
    }
}

#endif
