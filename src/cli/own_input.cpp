#include "cli/own_input.h"

#include <filesystem>
#include <system_error>

#include "platform/system_files.h"

namespace plugshift {

bool overwritesInput(const std::string& input, const std::string& output) {
    std::error_code ec;
    return std::filesystem::equivalent(pathFromUtf8(input), pathFromUtf8(output), ec) && !ec;
}

std::string ownInputRefusal(const std::string& output) {
    return output + ": this is the input file itself; write the output to another file.";
}

}  // namespace plugshift
