#include "tests/support/simulator.h"

#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

constexpr auto LIMIT = std::chrono::seconds(20);

}  // namespace

SimulatorPrograms BuiltPrograms() {
    return {VEKDIAG_SIM_EXE, QUORVIN_EXE};
}

Simulator::Simulator(NoServer, SimulatorPrograms programs) : programs_(std::move(programs)) {
    root = folder_.path();
    workDirectory = root + "/work";
    std::filesystem::create_directory(workDirectory);
    setenv("VEKDIAG_SIM_ROOT", root.c_str(), 1);
}

Simulator::Simulator(const std::vector<std::string>& serveArguments, SimulatorPrograms programs)
    : Simulator(NoServer{}, std::move(programs)) {
    Start(serveArguments);
}

void Simulator::Start(const std::vector<std::string>& serveArguments) {
    std::vector<std::string> argv = {programs_.simulator, "serve"};
    argv.insert(argv.end(), serveArguments.begin(), serveArguments.end());
    server_ = std::make_unique<Process>(argv);
    if (!server_->WaitForStdoutText("ready\n", LIMIT)) {
        HarnessFailure("simulator not ready: " + server_->Stderr());
    }
}

Simulator::~Simulator() {
    if (server_ != nullptr) {
        server_->Signal(SIGTERM);
        const int status = server_->Wait(LIMIT);
        if (status != 0) {
            HarnessFailure("simulator ended with " + std::to_string(status) + ": " +
                           server_->Stderr());
        }
        if (std::filesystem::exists(root + "/server.sock")) {
            HarnessFailure("simulator left its socket behind");
        }
        server_.reset();
    }
}

void Simulator::Kill() {
    server_->Signal(SIGKILL);
    server_->Wait(LIMIT);
    server_.reset();
}

void Simulator::Restart(const std::vector<std::string>& serveArguments) {
    if (server_ == nullptr) {
        Start(serveArguments);
    }
}

ProcessResult Simulator::TryControl(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {programs_.simulator};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProcess(argv);
}

std::string Simulator::Control(const std::vector<std::string>& arguments) {
    const ProcessResult result = TryControl(arguments);
    if (result.status != 0) {
        HarnessFailure("vekdiag-sim " + arguments.at(0) + " ended with " +
                       std::to_string(result.status) + ": " + result.err);
    }
    return result.out;
}

std::vector<std::string> Simulator::Requests(int adapter) {
    return SplitLines(Control({"requests", std::to_string(adapter)}));
}

std::string Simulator::Served(int adapter, const std::string& log) {
    return Control({"served", std::to_string(adapter), log});
}

std::vector<size_t> Simulator::ServedBlocks(int adapter, const std::string& log) {
    std::vector<size_t> lengths;
    for (const std::string& line :
         SplitLines(Control({"served", std::to_string(adapter), log, "--blocks"}))) {
        lengths.push_back(std::stoul(line));
    }
    return lengths;
}

std::vector<std::string> Simulator::QuorvinArguments(
    const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv = {programs_.quorvin};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

ProcessResult Simulator::QuorvinWith(ProcessOptions options,
                                     const std::vector<std::string>& arguments) {
    options.workingDirectory = workDirectory;
    return RunProcess(QuorvinArguments(arguments), options);
}

ProcessResult Simulator::Quorvin(const std::vector<std::string>& arguments,
                                 const std::string& input, StdoutKind stdoutKind) {
    return RunProcess(QuorvinArguments(arguments),
                      {.workingDirectory = workDirectory, .stdoutKind = stdoutKind}, input);
}

std::unique_ptr<Process> Simulator::StartQuorvin(const std::vector<std::string>& arguments) {
    return std::make_unique<Process>(
        QuorvinArguments(arguments),
        ProcessOptions{.workingDirectory = workDirectory, .keepStdinOpen = true});
}

bool Simulator::FileExists(const std::string& name) const {
    return std::filesystem::exists(FilePath(name));
}

std::string Simulator::ReadFile(const std::string& name) const {
    std::ifstream in(FilePath(name), std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
