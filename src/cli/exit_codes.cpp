#include "cli/exit_codes.h"

namespace plugshift {

const char* const kExitCodeHelp =
    "Exit codes:\n"
    "  0  done (a converted radio that could not be read again afterwards: 0 with a warning)\n"
    "  1  no programming cable is plugged in\n"
    "  2  more than one programming cable is plugged in\n"
    "  3  the radio could not be connected or its identity could not be read\n"
    "  4  the cable is not in its DIGITAL (Flash) mode\n"
    "  5  the cable is not supported\n"
    "  6  the tool does not support this radio's model\n"
    "  7  a file of the installation (or a backup) is missing or damaged\n"
    "  8  refused: not confirmed, codeplug version not compatible, wrong dealer password or\n"
    "     serial number\n"
    "  9  the radio is already converted\n"
    "  10 the radio work failed (see err.log in the data folder)\n"
    "  100 and above: the command line could not be read\n";

}  // namespace plugshift
