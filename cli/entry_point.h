#pragma once

// One run of the program: parse, banner, one command; returns the exit status.
int RunQuorvin(int argc, char** argv);
