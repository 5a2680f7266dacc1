// A driver simulator of its own for one test: a private root folder, the server
// started and ready, control commands, and a working folder for the files that the
// program creates. The environment variable that points both programs at the root is
// set for the test process, so every child inherits it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/process.h"

class Simulator {
public:
    // Starts "vekdiag-sim serve" with these arguments and waits for it to be ready.
    explicit Simulator(const std::vector<std::string>& serveArguments = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Runs a control command; a failing command fails the test.
    std::string Control(const std::vector<std::string>& arguments);
    ProcessResult TryControl(const std::vector<std::string>& arguments);
    std::vector<std::string> Requests(int adapter);
    // What reads of an adapter's log have returned so far, and the length of each read.
    std::string Served(int adapter, const std::string& log);
    std::vector<size_t> ServedBlocks(int adapter, const std::string& log);
    // Ends the server with SIGKILL; Restart starts one again in the same root.
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

    std::unique_ptr<Process> server_;
};

// The request lines that are read requests.
size_t CountReads(const std::vector<std::string>& requests);

// Polls condition every few milliseconds until it holds or the limit passes.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds limit = std::chrono::seconds(20));
