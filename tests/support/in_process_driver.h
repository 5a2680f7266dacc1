// The simulator's Driver model in this process, behind the platform layer: while a unit
// test holds one, every CreateFileA, DeviceIoControl, SetupAPI enumeration and
// notification registration of the code under test reaches it, through the same device
// functions and Win32 rules as the program's calls reach the simulator process. The
// request record is the model's own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/driver.h"
#include "tests/support/private_folder.h"

class InProcessDriver {
public:
    // The arguments of "vekdiag-sim serve": the adapters, the log size.
    explicit InProcessDriver(const std::vector<std::string>& serveArguments = {});
    ~InProcessDriver();
    InProcessDriver(const InProcessDriver&) = delete;
    InProcessDriver& operator=(const InProcessDriver&) = delete;

    // A control command in the words of vekdiag-sim; one that fails fails the test.
    std::string Control(const std::vector<std::string>& arguments);
    // Appends exact bytes to a log, as "raw N text|timing" does.
    void Append(int adapter, LogKind log, const std::vector<uint8_t>& bytes);
    std::vector<std::string> Requests(int adapter);
    // How many arrival registrations are subscribed.
    int Subscribers();
    // Waits until every registration's thread was handed each event so far and its
    // callback returned.
    void WaitForDelivery();

private:
    ControlResult Run(const ControlCommand& command);

    PrivateFolder root_;
    std::unique_ptr<Driver> driver_;
};
