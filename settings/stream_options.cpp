#include "settings/stream_options.h"

#include "base/ascii.h"

const StreamOption StreamOptionTable[STREAM_OPTION_COUNT] = {
    {1, "outtimer"},
    {2, "outinterpolate"},
    {4, "intimer"},
    {8, "ininterpolate"},
};

uint32_t FindStreamOption(const char* name) {
    for (const StreamOption& option : StreamOptionTable) {
        if (EqualsIgnoreCase(name, option.name)) {
            return option.flag;
        }
    }
    return 0;
}
