#pragma once

namespace plugshift {

// Exit codes of the radio commands (info, convert, set-serial, restore-personality), one table so
// a script can tell the outcomes apart whichever command it ran. CLI11 uses 100 and above for a
// command line it cannot read.
enum ExitCode : int {
    kExitOk = 0,
    kExitNoCable = 1,
    kExitSeveralCables = 2,
    kExitNotConnected = 3,    // "Failed to connect radio."
    kExitCableWrongMode = 4,  // the cable is not in its DIGITAL (Flash) mode
    kExitCableUnsupported = 5,
    kExitModelNotSupported = 6,
    kExitFileProblem = 7,  // an installation file is missing or damaged (string 112)
    kExitRefused = 8,      // not confirmed, not compatible, wrong password or serial number
    kExitAlreadyConverted = 9,
    kExitRadioFailed = 10,  // the radio work itself failed ("Convert failed." and the like)
};

// The table above for the commands' help.
extern const char* const kExitCodeHelp;

}  // namespace plugshift
