#pragma once

#include <string>

namespace plugshift {

enum class Verdict { kOk, kWarn, kFail };

// "OK", "WARN" or "FAIL".
constexpr const char* verdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::kOk:
            return "OK";
        case Verdict::kWarn:
            return "WARN";
        case Verdict::kFail:
            return "FAIL";
    }
    return "FAIL";
}

// One finding of the cable preflight. Texts are UTF-8 for the terminal and for scripts.
struct DoctorCheck {
    std::string name;  // what was checked: "cable", "driver", "access", ...
    Verdict verdict;
    std::string device;  // the USB device or tty it is about; empty for the system as a whole
    std::string detail;  // what was found
    std::string advice;  // one line on what to do; empty when there is nothing to do
};

}  // namespace plugshift
