#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

extern char** environ;

namespace plugshift::test {

namespace {
// How long one wait for output lasts before the limit is looked at again.
constexpr int kPollMs = 100;
}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool mergeErrors,
                           const Surroundings& surroundings) {
    int out[2];
    int in[2];
    if (argv.empty() || ::pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    if (::pipe2(in, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (mergeErrors) {
        posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    }
    if (!surroundings.folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, surroundings.folder.c_str());
    }
    // getenv takes the first of a name, so the child's own settings go first.
    std::vector<char*> environment;
    for (const std::string& setting : surroundings.environment) {
        environment.push_back(const_cast<char*>(setting.c_str()));
    }
    for (char** inherited = environ; *inherited != nullptr; ++inherited) {
        environment.push_back(*inherited);
    }
    environment.push_back(nullptr);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environment.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(in[0]);
    // Small enough for the pipe's buffer; the child sees its end once it has read it.
    if (!surroundings.input.empty()) {
        [[maybe_unused]] const ssize_t written =
            ::write(in[1], surroundings.input.data(), surroundings.input.size());
    }
    ::close(in[1]);
    fd_ = out[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string ChildProcess::readUntil(char delimiter, std::chrono::milliseconds limit) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (fd_ >= 0 && std::chrono::steady_clock::now() < end) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) {
            continue;
        }
        char c;
        if (::read(fd_, &c, 1) != 1) {
            break;
        }
        if (delimiter != '\0' && c == delimiter) {
            break;
        }
        got += c;
    }
    return got;
}

void ChildProcess::signal(int number) {
    if (pid_ > 0) {
        ::kill(pid_, number);
    }
}

int ChildProcess::finish(int signal) {
    if (pid_ <= 0) {
        return -1;
    }
    if (signal != 0) {
        ::kill(pid_, signal);
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace plugshift::test
