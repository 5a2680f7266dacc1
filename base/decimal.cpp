#include "base/decimal.h"

int ParseDecimal(const char* text, const DecimalUnit* units, size_t unitCount, uint64_t most,
                 uint64_t* value) {
    if (text == nullptr || *text < '0' || *text > '9') {
        return 0;
    }
    uint64_t number = 0;
    const char* c = text;
    for (; *c >= '0' && *c <= '9'; ++c) {
        const auto digit = static_cast<uint64_t>(*c - '0');
        if (digit > most || number > (most - digit) / 10) {
            return 0;
        }
        number = number * 10 + digit;
    }
    for (size_t i = 0; i < unitCount; ++i) {
        const DecimalUnit& unit = units[i];
        if (*c == unit.letter && (*c == '\0' || c[1] == '\0')) {
            if (number > most / unit.factor) {
                return 0;
            }
            *value = number * unit.factor;
            return 1;
        }
    }
    return 0;
}
