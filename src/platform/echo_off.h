#pragma once

#include <memory>

namespace plugshift {

// Turns the echo of a terminal's input off for as long as it lives, so a password typed there
// is not shown; the line feed that ends the entry is still shown. Nothing happens when the
// input is no terminal. Ctrl-C (and any signal or console event that ends the process by
// default) turns the echo back on before the process ends. One at a time.
class EchoOff {
public:
    // fd: the standard input's descriptor (0), or another terminal's on Linux.
    explicit EchoOff(int fd);
    ~EchoOff();
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> saved_;  // null when the echo was not changed
};

}  // namespace plugshift
