#pragma once

#include <memory>
#include <string>

#include "radio/d2xx.h"

namespace plugshift {

// The cable drivers of the system being built; the only place that names them, so the front
// ends stay the same on every system.
class SystemCables {
public:
    // The programming cables plugged in.
    static std::unique_ptr<D2xx> all();
    // One serial port that the user names (a device node, a COM port), shown as the only cable.
    static std::unique_ptr<D2xx> port(const std::string& name);
    // Why the port a user names cannot be a cable, found before it is opened (it does not exist,
    // it is no device); empty when it may be one.
    static std::wstring portProblem(const std::string& name);
    // What to check when no cable shows up, as lines a person reads.
    static const char* noCableAdvice();
};

}  // namespace plugshift
