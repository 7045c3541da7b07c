#pragma once

#include <string>

namespace plugshift {

class Configuration;

// What a loaded configuration holds, one fact per line, for people checking an installation:
// region, models, address versions, block files, range rules and the setup values.
std::wstring describeConfiguration(const Configuration& config);

}  // namespace plugshift
