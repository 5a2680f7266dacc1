// The request record of a simulated adapter ("vekdiag-sim requests N"), as lines.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

std::vector<std::string> RequestLines(const std::string& record);

// The lines that are read requests.
size_t CountReads(const std::vector<std::string>& requests);
