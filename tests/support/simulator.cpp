#include "tests/support/simulator.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr auto kLimit = std::chrono::seconds(20);

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

Simulator::Simulator(const std::vector<std::string>& serveArguments) {
    char pattern[] = "/tmp/qv-XXXXXX";
    root = mkdtemp(pattern);
    workDirectory = root + "/work";
    std::filesystem::create_directory(workDirectory);
    setenv("VEKDIAG_SIM_ROOT", root.c_str(), 1);
    Start(serveArguments);
}

void Simulator::Start(const std::vector<std::string>& serveArguments) {
    std::vector<std::string> argv = {VEKDIAG_SIM_EXE, "serve"};
    argv.insert(argv.end(), serveArguments.begin(), serveArguments.end());
    server_ = std::make_unique<Process>(argv);
    if (!server_->WaitForStdoutText("ready\n", kLimit)) {
        ADD_FAILURE() << "simulator not ready: " << server_->Stderr();
    }
}

Simulator::~Simulator() {
    if (server_ != nullptr) {
        server_->Signal(SIGTERM);
        EXPECT_EQ(server_->Wait(kLimit), 0) << server_->Stderr();
        server_.reset();
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

void Simulator::Kill() {
    server_->Signal(SIGKILL);
    server_->Wait(kLimit);
    server_.reset();
}

void Simulator::Restart(const std::vector<std::string>& serveArguments) {
    if (server_ == nullptr) {
        Start(serveArguments);
    }
}

ProcessResult Simulator::TryControl(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {VEKDIAG_SIM_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProcess(argv);
}

std::string Simulator::Control(const std::vector<std::string>& arguments) {
    const ProcessResult result = TryControl(arguments);
    EXPECT_EQ(result.status, 0) << "vekdiag-sim " << arguments.at(0) << ": " << result.err;
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

ProcessResult Simulator::QuorvinWith(ProcessOptions options,
                                     const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {QUORVIN_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    options.workingDirectory = workDirectory;
    return RunProcess(argv, options);
}

ProcessResult Simulator::Quorvin(const std::vector<std::string>& arguments,
                                 const std::string& input, StdoutKind stdoutKind) {
    std::vector<std::string> argv = {QUORVIN_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProcess(argv, {.workingDirectory = workDirectory, .stdoutKind = stdoutKind}, input);
}

std::unique_ptr<Process> Simulator::StartQuorvin(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {QUORVIN_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return std::make_unique<Process>(
        argv, ProcessOptions{.workingDirectory = workDirectory, .keepStdinOpen = true});
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

size_t CountReads(const std::vector<std::string>& requests) {
    size_t reads = 0;
    for (const std::string& line : requests) {
        reads += line.rfind("ioctl 0xC3516008", 0) == 0 ? 1 : 0;
    }
    return reads;
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
