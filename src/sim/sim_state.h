#pragma once

#include <string>
#include <string_view>

namespace plugshift {

class SimRadio;

// A radio's whole state as text a person can read: a few settings, then every block as a hex
// dump with an ASCII column. Lines of erased (0xFF) bytes are left out, and a block starts
// erased when read back. Test modes, protection and staged contacts are not saved: a saved
// radio is a radio switched off.
//
//   kmv-sim-state 1
//   flash-type 1
//   baud 57600
//   verify-failed 3           (default-block sectors whose last program went wrong; optional)
//   block DEF 0x84400 0x10000
//   0000: 1b 11 18 07 07 00 ...  |...|
//   end
class SimState {
public:
    static std::string text(const SimRadio& radio);
    // Replaces the radio's flash and settings; on a fault the radio is left as it was and
    // `error` says which line.
    static bool parse(SimRadio& radio, std::string_view text, std::string& error);

    // path is UTF-8, whatever the system's code page.
    static bool save(const SimRadio& radio, const std::string& path, std::string& error);
    static bool load(SimRadio& radio, const std::string& path, std::string& error);
};

}  // namespace plugshift
