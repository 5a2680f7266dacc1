// The status line of a running capture: on standard error, rewritten in place, and only
// when standard error is a console, so that scripts, pipes and files never see it.
#pragma once

#include <string>

// Whether standard error is a console.
bool StatusLineWanted();
// Shows the line in place of the one shown before; nothing when it is not wanted.
void ShowStatusLine(const std::string& text);
