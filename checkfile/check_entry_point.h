#pragma once

// One run of quorvin-check: its switches, then each file named; returns the exit status.
int RunQuorvinCheck(int argc, char** argv);
