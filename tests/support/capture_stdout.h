// Redirects the process's standard output into a file for the life of the object, so
// that a test can see exactly what a command printed.
#pragma once

#include <string>

class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Ends the redirection and returns what was printed, with line ends as a text-mode
    // reader sees them.
    std::string Finish();

private:
    std::string path_;
    int savedFd_ = -1;
};
