// The control commands of vekdiag-sim: sent to the running server, which prints.
#pragma once

#include <string>
#include <vector>

// The process's exit status: 0 done, 1 failed (no server, no such adapter), 2 usage.
int RunControl(const std::vector<std::string>& args);
