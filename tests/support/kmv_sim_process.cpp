#include "kmv_sim_process.h"

#include <csignal>
#include <utility>

namespace plugshift::test {

namespace {

std::vector<std::string> commandLine(std::vector<std::string> args) {
    args.insert(args.begin(), KMV_SIM_PATH);
    return args;
}

}  // namespace

KmvSimProcess::KmvSimProcess(std::vector<std::string> args)
    : child_(commandLine(std::move(args)), false) {
    if (child_.started()) {
        path_ = child_.readUntil('\n');
    }
}

KmvSimProcess::~KmvSimProcess() {
    if (child_.started()) {
        stop();
    }
}

int KmvSimProcess::stop() {
    return child_.finish(SIGTERM);
}

}  // namespace plugshift::test
