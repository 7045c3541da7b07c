#include "radio/system_cables.h"

#include "radio/tty_d2xx.h"

namespace plugshift {

std::unique_ptr<D2xx> SystemCables::all() {
    return std::make_unique<TtyD2xx>();
}

std::unique_ptr<D2xx> SystemCables::port(const std::string& name) {
    return TtyD2xx::forDevice(name);
}

std::wstring SystemCables::portProblem(const std::string& name) {
    return TtyD2xx::namedDeviceProblem(name);
}

const char* SystemCables::noCableAdvice() {
    return "Check the USB connection: the cable must show up as /dev/ttyUSB* (kernel driver "
           "ftdi_sio)\n"
           "with the USB product name \"NV PGM Cable\". Using it needs read and write access to "
           "that\n"
           "device: join the dialout group and log in again, or install the udev rule\n"
           "/lib/udev/rules.d/60-kmv-plugshift.rules.\n";
}

}  // namespace plugshift
