#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace plugshift::bench {

// S3 records of `data` from `address`, 32 data bytes a line, as a codeplug file carries them.
std::string srecordText(std::span<const uint8_t> data, uint32_t address);

}  // namespace plugshift::bench
