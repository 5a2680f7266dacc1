#include "sim/tests/sim_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace {

// Starts vekdiag-sim with args, its standard output on a pipe; returns the read end.
pid_t Spawn(const std::vector<std::string>& args, int* out) {
    std::vector<std::string> all = {VEKDIAG_SIM_EXE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(all.size() + 1);
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    *out = pipeFds[0];
    return pid;
}

int WaitStatus(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

SimServer::SimServer(const std::vector<std::string>& serveArgs, bool start) {
    char pattern[] = "/tmp/vst-XXXXXX";
    root = mkdtemp(pattern);
    setenv("VEKDIAG_SIM_ROOT", root.c_str(), 1);
    if (start) {
        Start(serveArgs);
    }
}

void SimServer::Restart(const std::vector<std::string>& serveArgs) {
    if (pid_ <= 0) {
        Start(serveArgs);
    }
}

void SimServer::Start(const std::vector<std::string>& serveArgs) {
    std::vector<std::string> args = {"serve"};
    args.insert(args.end(), serveArgs.begin(), serveArgs.end());
    int out = -1;
    pid_ = Spawn(args, &out);
    std::string line;
    char c = 0;
    while (line.find('\n') == std::string::npos && read(out, &c, 1) == 1) {
        line.push_back(c);
    }
    close(out);
    EXPECT_EQ(line, "ready\n");
}

SimServer::~SimServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        EXPECT_EQ(WaitStatus(pid_), 0);
        EXPECT_FALSE(std::filesystem::exists(root + "/server.sock"));
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

void SimServer::Kill() {
    kill(pid_, SIGKILL);
    WaitStatus(pid_);
    pid_ = -1;
}

SimResult RunSim(const std::vector<std::string>& args) {
    SimResult result;
    int out = -1;
    const pid_t pid = Spawn(args, &out);
    char buffer[65536];
    for (ssize_t got; (got = read(out, buffer, sizeof buffer)) > 0;) {
        result.out.append(buffer, static_cast<size_t>(got));
    }
    close(out);
    result.status = WaitStatus(pid);
    return result;
}

std::string Sim(const std::vector<std::string>& args) {
    const SimResult result = RunSim(args);
    EXPECT_EQ(result.status, 0) << "vekdiag-sim " << args.at(0);
    return result.out;
}
