// A driver simulator process of its own, for an end-to-end test, a test of the platform
// layer or a benchmark: a private root folder, the server started in it and ready,
// control commands, the served record, a kill and a restart, and the stop when the
// object goes. The environment variable that points both programs at the root is set
// for this process, so every child inherits it. Also a working folder for the files that
// the program creates.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/private_folder.h"
#include "tests/support/process.h"
#include "tests/support/request_record.h"

// Said when a step of the harness fails (a control command, a server that does not get
// ready or does not stop cleanly). Defined by whoever links the harness: a test records
// a failure (tests/support/harness_failure.cpp), a benchmark ends.
void HarnessFailure(const std::string& message);

struct SimulatorPrograms {
    std::string simulator;
    std::string quorvin;
};

// vekdiag-sim and quorvin of this build.
SimulatorPrograms BuiltPrograms();

class Simulator {
public:
    // No server yet, as on a machine without the driver; Restart starts one.
    struct NoServer {};

    // Starts "vekdiag-sim serve" with these arguments and waits for it to be ready.
    explicit Simulator(const std::vector<std::string>& serveArguments = {},
                       SimulatorPrograms programs = BuiltPrograms());
    explicit Simulator(NoServer, SimulatorPrograms programs = BuiltPrograms());
    // Stops the server as SIGTERM does; it must end cleanly and take its socket along.
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Runs a control command; a failing command is a failure of the harness.
    std::string Control(const std::vector<std::string>& arguments);
    ProcessResult TryControl(const std::vector<std::string>& arguments);
    std::vector<std::string> Requests(int adapter);
    // What reads of an adapter's log have returned so far, and the length of each read.
    std::string Served(int adapter, const std::string& log);
    std::vector<size_t> ServedBlocks(int adapter, const std::string& log);
    // Ends the server with SIGKILL, as a crash would; Restart starts one again in the same
    // root when none runs.
    void Kill();
    void Restart(const std::vector<std::string>& serveArguments = {});

    // The program against this simulator, in the working folder.
    ProcessResult Quorvin(const std::vector<std::string>& arguments, const std::string& input = "",
                          StdoutKind stdoutKind = StdoutKind::Pipe);
    ProcessResult QuorvinWith(ProcessOptions options, const std::vector<std::string>& arguments);
    std::unique_ptr<Process> StartQuorvin(const std::vector<std::string>& arguments);

    std::string FilePath(const std::string& name) const { return workDirectory + "/" + name; }
    bool FileExists(const std::string& name) const;
    std::string ReadFile(const std::string& name) const;

    std::string root;
    std::string workDirectory;

private:
    void Start(const std::vector<std::string>& serveArguments);
    std::vector<std::string> QuorvinArguments(const std::vector<std::string>& arguments) const;

    const SimulatorPrograms programs_;
    const PrivateFolder folder_;
    std::unique_ptr<Process> server_;
};

// Polls condition every few milliseconds until it holds or the limit passes.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds limit = std::chrono::seconds(20));
