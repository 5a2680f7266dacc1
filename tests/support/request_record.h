// Text as lines: the request record of a simulated adapter ("vekdiag-sim requests N"), the
// read lengths of a log ("served N LOG --blocks"), what a program printed; and the read
// requests among the lines of a request record.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The lines of a text, without their line feeds.
std::vector<std::string> SplitLines(const std::string& text);

// The lines of a request record that are read requests.
size_t CountReads(const std::vector<std::string>& requests);
