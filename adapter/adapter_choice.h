// Which adapter a command works on: the first that the enumeration yields, or with the
// switch -a:N the one whose adapter index (the number that list prints after "adapter
// index") is N.
#pragma once

#include <cstdint>
#include <memory>

class CommandLine;
class VekDiagDevice;
class VekDiagDeviceList;

struct AdapterChoice {
    bool byIndex = false;  // -a given
    uint16_t index = 0;
};

// Reads -a; EXIT_STATUS_OK, or EXIT_STATUS_USAGE with the reason said in one line when
// its value is not an adapter index.
int ParseAdapterChoice(const CommandLine& commandLine, AdapterChoice* choice);

// Whether the choice takes this adapter: any one without -a, otherwise the one that said
// it has that index.
bool Matches(const VekDiagDevice& device, const AdapterChoice& choice);

// The first adapter of the list that the choice takes, or null.
VekDiagDevice* PickAdapter(const VekDiagDeviceList& list, const AdapterChoice& choice);

// The first adapter present now that the choice takes, found by enumerating the
// interfaces, or null.
std::unique_ptr<VekDiagDevice> FindPresentAdapter(const AdapterChoice& choice);

// Says that no adapter was found (with -a: none with that index).
void ReportNoAdapter(const AdapterChoice& choice);

// The adapter that dump, set and clearcache work on, from the list built for the
// command: null when there is none or -a is not understood, said in one line, with the
// status to exit with in *status.
VekDiagDevice* ChooseAdapter(const CommandLine& commandLine, const VekDiagDeviceList& list,
                             int* status);
