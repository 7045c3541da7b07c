#include "sim/sim_state.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/system_files.h"
#include "sim/sim_radio.h"

namespace plugshift {

namespace {

constexpr int kFormatVersion = 1;
constexpr size_t kBytesPerLine = 16;
constexpr uint8_t kErased = 0xFF;

char printable(uint8_t b) {
    return b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
}

std::string line(size_t offset, std::span<const uint8_t> bytes) {
    char buffer[24];  // room for any size_t offset in hex
    std::snprintf(buffer, sizeof buffer, "%04zx:", offset);
    std::string out = buffer;
    std::string ascii;
    for (uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, " %02x", b);
        out += buffer;
        ascii += printable(b);
    }
    return out + "  |" + ascii + "|\n";
}

// For the comment line: digits are stored as the values 0..9.
std::string modelText(const std::vector<uint8_t>& model) {
    std::string text;
    for (uint8_t b : model) {
        text += b <= 9 ? static_cast<char>('0' + b) : printable(b);
    }
    return text;
}

std::string serialText(const std::vector<uint8_t>& serial) {
    std::string text;
    for (uint8_t b : serial) {
        text += printable(b);
    }
    return text;
}

bool number(const std::string& token, unsigned long& value) {
    if (token.empty() || token[0] == '-') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(token.c_str(), &end, 0);
    return *end == '\0' && errno == 0;
}

bool hexNumber(const std::string& token, unsigned long& value) {
    return number("0x" + token, value);
}

}  // namespace

std::string SimState::text(const SimRadio& radio) {
    std::ostringstream out;
    out << "# kmv-sim radio: model " << modelText(radio.model()) << ", serial "
        << serialText(radio.serial()) << ", firmware " << radio.firmwareVersion().text()
        << ", codeplug " << radio.codeplugVersion().text() << ", keypad "
        << radio.keypadVersion().text() << ", " << radio.contactCount() << " contacts\n";
    out << "# Blocks in hex by offset; lines of erased bytes (ff) are left out.\n";
    out << "kmv-sim-state " << kFormatVersion << "\n";
    out << "flash-type " << radio.flashType() << "\n";
    out << "baud " << radio.baud() << "\n";
    std::string failed;
    for (size_t s = 0; s < SimFlash::kDefaultSectors; ++s) {
        if (radio.flash().sectorVerifyFailed(s)) {
            failed += " " + std::to_string(s);
        }
    }
    if (!failed.empty()) {
        out << "verify-failed" << failed << "\n";
    }
    for (int k = 0; k < kSimBlockCount; ++k) {
        const auto kind = static_cast<SimBlock>(k);
        const SimBlockInfo& info = SimFlash::info(kind);
        char header[64];
        std::snprintf(header, sizeof header, "block %s 0x%X 0x%X\n", info.name, info.memoryAddress,
                      info.capacity);
        out << header;
        const auto bytes = radio.flash().block(kind);
        for (size_t offset = 0; offset < bytes.size(); offset += kBytesPerLine) {
            const auto chunk =
                bytes.subspan(offset, std::min(kBytesPerLine, bytes.size() - offset));
            if (!std::ranges::all_of(chunk, [](uint8_t b) { return b == kErased; })) {
                out << line(offset, chunk);
            }
        }
        out << "end\n";
    }
    return out.str();
}

bool SimState::parse(SimRadio& radio, std::string_view text, std::string& error) {
    SimFlash flash(radio.flashType());  // erased
    uint32_t baud = radio.baud();
    bool versionSeen = false;
    // The block being read, while inBlock.
    bool inBlock = false;
    SimBlock block = SimBlock::Dyn;
    std::istringstream in{std::string(text)};
    std::string raw;
    int lineNumber = 0;
    auto fail = [&](const char* why) {
        error = "line " + std::to_string(lineNumber) + ": " + why;
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineNumber;
        const std::string content = raw.substr(0, raw.find('#'));
        std::istringstream words(content.substr(0, content.find('|')));
        std::string key;
        if (!(words >> key)) {
            continue;
        }
        unsigned long value = 0;
        std::string token;
        if (inBlock) {
            if (key == "end") {
                inBlock = false;
                continue;
            }
            if (key.back() != ':' || !hexNumber(key.substr(0, key.size() - 1), value)) {
                return fail("expected an offset such as 01f0: or end");
            }
            auto bytes = flash.block(block);
            size_t offset = value;
            while (words >> token) {
                unsigned long byte = 0;
                if (token.size() > 2 || !hexNumber(token, byte)) {
                    return fail("expected hex bytes");
                }
                if (offset >= bytes.size()) {
                    return fail("bytes beyond the end of the block");
                }
                bytes[offset++] = static_cast<uint8_t>(byte);
            }
            continue;
        }
        if (key == "kmv-sim-state") {
            if (!(words >> token) || !number(token, value) || value != kFormatVersion) {
                return fail("unknown state format");
            }
            versionSeen = true;
        } else if (key == "flash-type") {
            if (!(words >> token) || !number(token, value) || value >= SimFlash::kFlashTypes) {
                return fail("flash type must be 0, 1 or 2");
            }
            flash.setFlashType(static_cast<int>(value));
        } else if (key == "baud") {
            if (!(words >> token) || !number(token, value) || value == 0 || value > UINT32_MAX) {
                return fail("bad baud rate");
            }
            baud = static_cast<uint32_t>(value);
        } else if (key == "verify-failed") {
            while (words >> token) {
                if (!number(token, value) || value >= SimFlash::kDefaultSectors) {
                    return fail("bad sector number");
                }
                flash.setSectorVerifyFailed(value, true);
            }
        } else if (key == "block") {
            std::string address;
            std::string size;
            words >> token >> address >> size;
            const std::optional<SimBlock> named = SimFlash::blockNamed(token);
            if (!named || !number(size, value) || value != SimFlash::info(*named).capacity) {
                return fail("unknown block or wrong size");
            }
            block = *named;
            inBlock = true;
        } else {
            return fail("unknown setting");
        }
    }
    if (!versionSeen) {
        error = "not a kmv-sim state file";
        return false;
    }
    if (inBlock) {
        error = "block without end";
        return false;
    }
    radio.flash() = flash;
    radio.setBaud(baud);
    radio.reset();
    return true;
}

bool SimState::save(const SimRadio& radio, const std::string& path, std::string& error) {
    // Write beside and rename, so an interrupted save never leaves half a radio.
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(pathFromUtf8(temporary), std::ios::binary | std::ios::trunc);
        out << text(radio);
        if (!out.flush()) {
            error = "cannot write " + temporary + ": " + std::strerror(errno);
            return false;
        }
    }
    if (replaceFile(pathFromUtf8(temporary), pathFromUtf8(path)) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        removeFile(pathFromUtf8(temporary));
        return false;
    }
    return true;
}

bool SimState::load(SimRadio& radio, const std::string& path, std::string& error) {
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    if (!in) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (!parse(radio, content.str(), error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace plugshift
