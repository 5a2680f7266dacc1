// The handlers of the control commands, one for each verb (the table is in
// control_commands.cpp), and what they share. A handler runs one command on the driver's
// state and takes the driver's lock for as long as the command needs it: the commands
// that append to a log (log_commands.cpp) make their bytes outside it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sim/adapter.h"
#include "sim/command_syntax.h"
#include "sim/driver.h"
#include "sim/driver_state.h"

using ControlHandler = ControlResult (*)(DriverState& driver, const ControlCommand& command);

// A command that failed (status 1) and says why.
ControlResult Failure(std::string message);
// One line of output.
std::string Line(const std::string& text);
std::string Line(uint64_t number);

// Runs act under the driver's lock on the present adapter at the command's position; what
// act returns is the command's output. Without such an adapter the command fails.
ControlResult OnAdapter(DriverState& driver, const ControlCommand& command,
                        const std::function<std::string(Adapter& adapter)>& act);
// The present adapter at the command's position, looked up under the driver's lock, for
// work done outside it; null, and *result saying so, when there is none.
Adapter* PresentAdapter(DriverState& driver, const ControlCommand& command, ControlResult* result);

// log_commands.cpp
ControlResult AppendText(DriverState& driver, const ControlCommand& command);
ControlResult AppendRaw(DriverState& driver, const ControlCommand& command);
ControlResult AppendTimingRecords(DriverState& driver, const ControlCommand& command);
ControlResult Fill(DriverState& driver, const ControlCommand& command);
ControlResult Stream(DriverState& driver, const ControlCommand& command);

// removal_commands.cpp
// The plug-and-play manager's removal that asks first: every registrant of the adapter is
// queried, and the removal goes ahead unless one vetoes or a handle is still open; the
// adapter then goes, and with comeBack returns at once as the same adapter.
ControlResult QueriedRemoval(DriverState& driver, const ControlCommand& command, bool comeBack);
ControlResult Hold(DriverState& driver, const ControlCommand& command);
ControlResult Release(DriverState& driver, const ControlCommand& command);
