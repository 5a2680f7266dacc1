#include "base/status_line.h"

#include "base/console.h"
#include "platform/win32.h"

namespace {

bool IsConsole(DWORD standardHandle) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(standardHandle), &mode) != FALSE;
}

}  // namespace

bool StatusLineWanted() {
    static const bool wanted = IsConsole(STD_ERROR_HANDLE);
    return wanted;
}

void ShowStatusLine(const std::string& text) {
    static const bool sharesConsole = IsConsole(STD_OUTPUT_HANDLE);
    if (StatusLineWanted()) {
        DrawStatusLine(text, sharesConsole);
    }
}
