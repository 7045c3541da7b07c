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

#include "app/application.h"
#include "cable/cable_backend.h"
#include "platform/system_files.h"

namespace {

constexpr const char* kUsage = "usage: %s [--simulate | --port DEVICE | --version | --help]\n";

int usage(const char* program) {
    std::fprintf(stderr, kUsage, program);
    return 2;
}

// Answered before any window system is touched, so they work without a display.
bool answersAtOnce(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("plugshift %s\n", PLUGSHIFT_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(kUsage, argv[0]);
            std::printf(
                "KMV Plugshift PERU: converts KMV radios for the PERU region.\n"
                "  --simulate     use the simulated radio, kept in the data folder between runs\n"
                "  --port DEVICE  use one serial device (a /dev/ttyUSB* or kmv-sim's terminal)\n"
                "  --version      print the version\n");
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (answersAtOnce(argc, argv)) {
        return 0;
    }
    QApplication application(argc, argv);
    plugshift::BackendOptions options;
    if (!plugshift::BackendOptions::parseWindowArguments({argv + 1, argv + argc}, options)) {
        return usage(argv[0]);
    }
    const QString dataDirectory = plugshift::Application::locateDataDirectory();
    std::string problem;
    const auto backend = plugshift::CableBackend::open(
        options, plugshift::pathFromUtf8(dataDirectory.toStdString()), problem);
    if (!backend) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    int exitCode = 0;
    {
        plugshift::Application app(backend->driver());
        app.initInstance();
        exitCode = app.exitInstance();
    }
    // The simulated radio keeps what was done to it (a new serial number, a conversion).
    if (!backend->save(problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
    }
    return exitCode;
}
