#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace plugshift {

// MD5 (RFC 1321), the digest that guards every flash file. Streaming: feed the bytes in any
// pieces with update(), then finish() once. Whole 64-byte blocks go straight from the caller's
// buffer to the compression function; only a partial block is copied.
class Md5 {
public:
    using Digest = std::array<uint8_t, 16>;

    Md5() { reset(); }

    void reset();
    void update(const void* data, size_t length);
    void update(std::span<const uint8_t> bytes) { update(bytes.data(), bytes.size()); }
    // Pads, returns the digest and leaves the object ready for a new message.
    Digest finish();

    static Digest of(std::span<const uint8_t> bytes);
    // Lower-case hexadecimal, as md5sum prints it.
    static std::string toHex(const Digest& digest);

private:
    static constexpr size_t kBlockSize = 64;

    void compress(const uint8_t* blocks, size_t count);

    std::array<uint32_t, 4> state_;
    uint64_t totalBytes_;
    std::array<uint8_t, kBlockSize> pending_;
    size_t pendingLength_;
};

}  // namespace plugshift
