// plugshift: the desktop application.
//   plugshift               the programming cables the system lists
//   plugshift --simulate    the in-process simulated radio, kept in the data folder between runs
//   plugshift --port DEV    one serial device (a /dev/ttyUSB* or kmv-sim's terminal) as the cable

#include <QApplication>
#include <QString>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/quillo_flash_tool_app.h"
#include "cli/cable_backend.h"

namespace {

int usage(const char* program) {
    std::fprintf(stderr, "usage: %s [--simulate | --port DEVICE]\n", program);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    plugshift::BackendOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--simulate") == 0 && options.port.empty()) {
            options.simulate = true;
        } else if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc && !options.simulate) {
            options.port = argv[++i];
        } else {
            return usage(argv[0]);
        }
    }
    const QString dataDirectory = plugshift::CQuilloFlashToolApp::locateDataDirectory();
    std::string problem;
    const auto backend =
        plugshift::CableBackend::open(options, dataDirectory.toStdString(), problem);
    if (!backend) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    int exitCode = 0;
    {
        plugshift::CQuilloFlashToolApp app(&backend->driver());
        app.initInstance();
        exitCode = app.exitInstance();
    }
    // The simulated radio keeps what was done to it (a new serial number, a conversion).
    if (!backend->save(problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
    }
    return exitCode;
}
