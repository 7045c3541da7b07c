#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

extern char** environ;

namespace plugshift::test {

// kmv-sim run as a child process: started with arguments, its terminal's path read from the
// first line of its output, stopped with SIGTERM by its own process id.
class KmvSimProcess {
public:
    explicit KmvSimProcess(std::vector<std::string> args) {
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        args.insert(args.begin(), KMV_SIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, KMV_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        char c = 0;
        pollfd p{out[0], POLLIN, 0};
        while (::poll(&p, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') {
            path_ += c;
        }
        ::close(out[0]);
    }
    ~KmvSimProcess() {
        if (pid_ > 0) {
            stop();
        }
    }
    const std::string& path() const { return path_; }
    void signal(int number) { ::kill(pid_, number); }
    // SIGTERM and the exit status.
    int stop() {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    std::string path_;
};

}  // namespace plugshift::test
