#include "cli/cables_command.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <iostream>

#include "radio/system_cables.h"
#include "radio/usb_serial.h"

namespace plugshift {

namespace {
constexpr int kExitFound = 0;
constexpr int kExitNone = 1;
}  // namespace

int listCables(D2xx& driver, std::ostream& out) {
    uint32_t number = 0;
    const FT_STATUS status = driver.FT_ListDevices(&number, nullptr, FT_LIST_NUMBER_ONLY);
    if (status != FT_OK) {
        out << "Listing the USB serial devices failed (status " << status << ").\n";
    }
    int found = 0;
    for (uint32_t i = 0; status == FT_OK && i < number; ++i) {
        char description[FT_DESCRIPTION_SIZE] = {};
        if (driver.FT_ListDevices(reinterpret_cast<void*>(static_cast<intptr_t>(i)), description,
                                  FT_LIST_DESCRIPTION_BY_INDEX) == FT_OK &&
            USBSerial::matchesCable(description)) {
            out << i << ": " << description << " (" << driver.devicePath(static_cast<int>(i))
                << ")\n";
            ++found;
        }
    }
    if (found == 0) {
        out << "No programming cable found.\n" << SystemCables::noCableAdvice();
        return kExitNone;
    }
    out << found << (found == 1 ? " programming cable found.\n" : " programming cables found.\n");
    return kExitFound;
}

void addCablesCommand(CLI::App& app, int& exitCode) {
    CLI::App* command = app.add_subcommand("cables", "List the programming cables plugged in");
    command->callback([&exitCode] { exitCode = listCables(*SystemCables::all(), std::cout); });
}

}  // namespace plugshift
