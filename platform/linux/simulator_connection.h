// The platform layer's connections to the driver simulator. Before the layer opens its
// first descriptor, descriptors 0, 1 and 2 are made sure to be open: a program started
// with a standard stream closed would otherwise get a simulator socket in its place and
// read it as its input or write its output into it. A closed one is filled with
// /dev/null opened for reading only, so it still behaves as a closed stream does for the
// program: reads end at once and writes fail.
#pragma once

// Once per process, whichever thread comes first.
void KeepStandardStreamsTaken();

// A connection to the running simulator, or -1 when none answers.
int ConnectToSimulator();
