#include "radio/system_cables.h"

#include "radio/windows/com_port_d2xx.h"
#include "radio/windows/ftd2xx_library.h"

namespace plugshift {

std::unique_ptr<D2xx> SystemCables::all() {
    // FTDI's library where its driver package installed it, else the cables' COM ports.
    if (std::unique_ptr<D2xx> library = Ftd2xxLibrary::load()) {
        return library;
    }
    return std::make_unique<ComPortD2xx>();
}

std::unique_ptr<D2xx> SystemCables::port(const std::string& name) {
    return ComPortD2xx::forPort(name);
}

const char* SystemCables::noCableAdvice() {
    return "Check the USB connection: the cable must show up in the Device Manager under\n"
           "Ports (COM & LPT) with the USB description \"NV PGM Cable\" (FTDI's driver\n"
           "installed). plugshift-cli --port COMn uses one port by its name.\n";
}

}  // namespace plugshift
