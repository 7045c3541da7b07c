#include "radio/system_cables.h"

#include <vector>

#include "radio/first_finding_d2xx.h"
#include "radio/windows/com_port_d2xx.h"
#include "radio/windows/ftd2xx_library.h"

namespace plugshift {

std::unique_ptr<D2xx> SystemCables::all() {
    // FTDI's library where its driver package installed it, and the COM ports, which also show
    // a cable behind another driver's virtual COM port: whichever finds the cable.
    std::vector<std::unique_ptr<D2xx>> drivers;
    if (std::unique_ptr<D2xx> library = Ftd2xxLibrary::load()) {
        drivers.push_back(std::move(library));
    }
    drivers.push_back(std::make_unique<ComPortD2xx>());
    return std::make_unique<FirstFindingD2xx>(std::move(drivers));
}

std::unique_ptr<D2xx> SystemCables::port(const std::string& name) {
    return ComPortD2xx::forPort(name);
}

std::wstring SystemCables::portProblem(const std::string&) {
    // A COM port is a name, not a file: opening it is what tells.
    return {};
}

const char* SystemCables::noCableAdvice() {
    return "Check the USB connection: the cable must show up in the Device Manager under\n"
           "Ports (COM & LPT) with the USB description \"NV PGM Cable\" (FTDI's driver\n"
           "installed). plugshift-cli --port COMn uses one port by its name.\n";
}

}  // namespace plugshift
