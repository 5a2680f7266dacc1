#include "tests/support/request_record.h"

#include <sstream>

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

size_t CountReads(const std::vector<std::string>& requests) {
    size_t reads = 0;
    for (const std::string& line : requests) {
        reads += line.rfind("ioctl 0xC3516008", 0) == 0 ? 1 : 0;
    }
    return reads;
}
