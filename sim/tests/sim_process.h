// A vekdiag-sim server of its own for one test: a fresh root folder that this process's
// VEKDIAG_SIM_ROOT points at, and the server started in it (or none, to test without).
#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

class SimServer {
public:
    explicit SimServer(const std::vector<std::string>& serveArgs = {}, bool start = true);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Ends the server at once, as a crash would: no chance to clean up.
    void Kill();
    // Starts a server again in the same root, after Kill.
    void Restart(const std::vector<std::string>& serveArgs = {});

    std::string root;

private:
    void Start(const std::vector<std::string>& serveArgs);

    pid_t pid_ = -1;
};

struct SimResult {
    int status = -1;
    std::string out;
};

// Runs a control command against the server.
SimResult RunSim(const std::vector<std::string>& args);
// The same, failing the test unless it succeeds.
std::string Sim(const std::vector<std::string>& args);
