#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace plugshift {

// A device as udev sees it while it handles an event: the event device first, then its parents,
// nearest first (tty -> usb-serial port -> USB interface -> USB device).
struct UdevDevice {
    std::string subsystem;
    std::string kernel;
    std::string driver;  // empty while no driver is bound
    std::map<std::string, std::string> attributes;
};

struct UdevEvent {
    std::string action;
    std::vector<UdevDevice> chain;
};

// What the rules did to the event device.
struct UdevOutcome {
    std::set<std::string> tags;
    std::string group;
    std::string mode;
    std::map<std::string, std::string> environment;
    std::map<std::string, std::string> attributeWrites;
};

// The part of udev's rule language that device-permission rules use, read and applied as
// systemd-udevd (252) does: one rule per line (a trailing backslash continues it), keys separated
// by commas, values in double quotes, glob patterns with "|" between alternatives. The keys that
// look at parents (KERNELS, SUBSYSTEMS, DRIVERS, ATTRS) must all match on one and the same device
// of the chain.
class UdevRules {
public:
    // False with "line N: reason" for what udev refuses or skips (an unknown key, a wrong
    // operator, an unquoted value, a GOTO without its LABEL), and, stricter than udev 252, for
    // what it quietly reads another way (ATTR+= as ATTR=) or newer versions warn about (no comma
    // between two keys).
    bool parse(const std::string& text, std::string& error);

    // False with the reason when a rule uses a key that apply() does not model.
    bool apply(const UdevEvent& event, UdevOutcome& outcome, std::string& error) const;

private:
    struct Key {
        std::string name;
        std::string attribute;
        std::string op;
        std::string value;
    };
    struct Rule {
        int line = 0;
        std::vector<Key> keys;
    };

    bool parseRule(const std::string& text, int line, std::string& error);
    static bool matchesOn(const Key& key, const UdevDevice& device, const std::string& action);

    std::vector<Rule> rules_;
};

}  // namespace plugshift
