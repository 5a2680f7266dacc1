// One client connection of the server, run on its own thread until the client hangs up:
// an open channel, an enumeration, a notification subscription or a control command.
#pragma once

class Driver;

// Takes ownership of fd.
void RunSession(Driver& driver, int fd);
