#pragma once

#include <CLI/CLI.hpp>

namespace plugshift {

// `config decode FILE`, `config encode FILE -o OUT`, `config check`: the scrambled installation
// files as readable XML and back, and a whole load of an installation with its summary.
void addConfigCommand(CLI::App& app, int& exitCode);

}  // namespace plugshift
