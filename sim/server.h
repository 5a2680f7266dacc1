// `vekdiag-sim serve`: runs the simulated driver in the foreground until SIGINT or
// SIGTERM (or a `stop` command), answering on the socket in the root folder.
#pragma once

#include "sim/command_syntax.h"

// The process's exit status.
int Serve(const ServeOptions& options);
