// Which adapter a command works on: the first that the enumeration yields, or with the
// switch -a:N the one whose adapter index (the number that list prints after "adapter
// index") is N. The command line reads -a (cli/switch_values.h); the choice is what it
// found there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class VekDiagDevice;
class VekDiagDeviceList;

struct AdapterChoice {
    bool byIndex = false;  // -a given
    uint16_t index = 0;
    // Not empty: only the adapter with this interface path (one whose index is not known).
    std::string path;
};

// Whether the choice takes this adapter: any one without -a, otherwise the one that said
// it has that index; with a path, only the adapter of that path.
bool Matches(const VekDiagDevice& device, const AdapterChoice& choice);

// The first adapter of the list that the choice takes, or null. The configure channels of
// the others are closed: a channel admits one holder, and other runs of the tool may want
// them while this one works.
VekDiagDevice* PickAdapter(const VekDiagDeviceList& list, const AdapterChoice& choice);

// The choice that takes this adapter again when it returns: its index, or its path when
// it never said its index.
AdapterChoice ChoiceOf(const VekDiagDevice& device);

// The first adapter present now that the choice takes, found by enumerating the
// interfaces, or null.
std::unique_ptr<VekDiagDevice> FindPresentAdapter(const AdapterChoice& choice);

// Says that no adapter was found (with -a: none with that index).
void ReportNoAdapter(const AdapterChoice& choice);

// The adapter that dump, set and clearcache work on, from the list built for the
// command: null when the choice takes none, said in one line, with EXIT_STATUS_FAILED
// in *status.
VekDiagDevice* ChooseAdapter(const AdapterChoice& choice, const VekDiagDeviceList& list,
                             int* status);
