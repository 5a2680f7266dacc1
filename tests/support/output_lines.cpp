#include "tests/support/output_lines.h"

#include <algorithm>
#include <regex>

#include "tests/support/reference_framer.h"
#include "tests/support/request_record.h"

namespace {

const std::string PROMPT = "Hit \"ENTER\" to end log capture...";

}  // namespace

std::string WithoutDates(const std::string& text) {
    static const std::regex DATE("(^|\n)\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} ");
    return std::regex_replace(text, DATE, "$1");
}

std::vector<std::string> OutputLines(std::string out) {
    for (size_t at; (at = out.find(PROMPT)) != std::string::npos;) {
        out.erase(at, PROMPT.size());
    }
    return SplitLines(out);
}

std::vector<std::string> ExpectedErrorLines(const std::string& served,
                                            const std::vector<size_t>& blocks) {
    std::vector<std::string> lines;
    for (const int errors : ReferenceErrorsPerBlock(served, blocks)) {
        if (errors != 0) {
            lines.push_back("detected " + std::to_string(errors) + " errors in timing log");
        }
    }
    return lines;
}

size_t LineCount(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}
