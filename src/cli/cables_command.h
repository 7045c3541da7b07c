#pragma once

#include <iosfwd>

namespace CLI {
class App;
}

namespace plugshift {

class D2xx;

// `cables`: lists the programming cables plugged in, each with its index, description and
// device path, then how many there are. Exit code 0 with at least one, 1 with none.
void addCablesCommand(CLI::App& app, int& exitCode);

// The listing over any cable driver (tests give it a fake sysfs); returns the exit code.
int listCables(D2xx& driver, std::ostream& out);

}  // namespace plugshift
