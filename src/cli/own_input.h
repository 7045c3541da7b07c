#pragma once

#include <string>

namespace plugshift {

// Whether writing `output` would replace `input` (both UTF-8 paths): the same file under any name,
// a link to it or another spelling of its path. A name that does not exist yet is never the input.
bool overwritesInput(const std::string& input, const std::string& output);

// What a command says when it refuses such an output.
std::string ownInputRefusal(const std::string& output);

}  // namespace plugshift
