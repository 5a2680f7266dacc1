// What the program prints on standard output, as lines to compare.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// How many lines the text holds (its line feeds).
size_t LineCount(const std::string& text);

// The text with the local date and time that starts an event line ("2026-12-09
// 03:12:44 the adapter left: ...") taken off every line that has one.
std::string WithoutDates(const std::string& text);

// The lines of standard output, with the capture's prompt taken out wherever it stands.
std::vector<std::string> OutputLines(std::string out);

// The "detected N errors in timing log" lines the program must print for a timing log
// that was read in blocks of these lengths (0 for an empty answer), in order.
std::vector<std::string> ExpectedErrorLines(const std::string& served,
                                            const std::vector<size_t>& blocks);
