#include "formats/md5.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace plugshift {

namespace {

constexpr std::array<uint32_t, 4> kInitialState = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

inline uint32_t loadLittle32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) {
        v = __builtin_bswap32(v);
    }
    return v;
}

inline void storeLittle32(uint8_t* p, uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) {
        v = __builtin_bswap32(v);
    }
    std::memcpy(p, &v, sizeof v);
}

// The four round functions in the forms with the fewest operations.
inline uint32_t fF(uint32_t x, uint32_t y, uint32_t z) {
    return z ^ (x & (y ^ z));
}
inline uint32_t fG(uint32_t x, uint32_t y, uint32_t z) {
    return y ^ (z & (x ^ y));
}
inline uint32_t fH(uint32_t x, uint32_t y, uint32_t z) {
    return x ^ y ^ z;
}
inline uint32_t fI(uint32_t x, uint32_t y, uint32_t z) {
    return y ^ (x | ~z);
}

}  // namespace

// One step: a = b + ((a + f(b, c, d) + word + constant) <<< shift).
#define MD5_STEP(f, a, b, c, d, word, constant, shift)          \
    a += f(b, c, d) + (word) + static_cast<uint32_t>(constant); \
    a = std::rotl(a, shift) + b

void Md5::compress(const uint8_t* blocks, size_t count) {
    uint32_t a0 = state_[0], b0 = state_[1], c0 = state_[2], d0 = state_[3];
    for (; count > 0; --count, blocks += kBlockSize) {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) {
            x[i] = loadLittle32(blocks + 4 * i);
        }
        uint32_t a = a0, b = b0, c = c0, d = d0;

        MD5_STEP(fF, a, b, c, d, x[0], 0xd76aa478, 7);
        MD5_STEP(fF, d, a, b, c, x[1], 0xe8c7b756, 12);
        MD5_STEP(fF, c, d, a, b, x[2], 0x242070db, 17);
        MD5_STEP(fF, b, c, d, a, x[3], 0xc1bdceee, 22);
        MD5_STEP(fF, a, b, c, d, x[4], 0xf57c0faf, 7);
        MD5_STEP(fF, d, a, b, c, x[5], 0x4787c62a, 12);
        MD5_STEP(fF, c, d, a, b, x[6], 0xa8304613, 17);
        MD5_STEP(fF, b, c, d, a, x[7], 0xfd469501, 22);
        MD5_STEP(fF, a, b, c, d, x[8], 0x698098d8, 7);
        MD5_STEP(fF, d, a, b, c, x[9], 0x8b44f7af, 12);
        MD5_STEP(fF, c, d, a, b, x[10], 0xffff5bb1, 17);
        MD5_STEP(fF, b, c, d, a, x[11], 0x895cd7be, 22);
        MD5_STEP(fF, a, b, c, d, x[12], 0x6b901122, 7);
        MD5_STEP(fF, d, a, b, c, x[13], 0xfd987193, 12);
        MD5_STEP(fF, c, d, a, b, x[14], 0xa679438e, 17);
        MD5_STEP(fF, b, c, d, a, x[15], 0x49b40821, 22);

        MD5_STEP(fG, a, b, c, d, x[1], 0xf61e2562, 5);
        MD5_STEP(fG, d, a, b, c, x[6], 0xc040b340, 9);
        MD5_STEP(fG, c, d, a, b, x[11], 0x265e5a51, 14);
        MD5_STEP(fG, b, c, d, a, x[0], 0xe9b6c7aa, 20);
        MD5_STEP(fG, a, b, c, d, x[5], 0xd62f105d, 5);
        MD5_STEP(fG, d, a, b, c, x[10], 0x02441453, 9);
        MD5_STEP(fG, c, d, a, b, x[15], 0xd8a1e681, 14);
        MD5_STEP(fG, b, c, d, a, x[4], 0xe7d3fbc8, 20);
        MD5_STEP(fG, a, b, c, d, x[9], 0x21e1cde6, 5);
        MD5_STEP(fG, d, a, b, c, x[14], 0xc33707d6, 9);
        MD5_STEP(fG, c, d, a, b, x[3], 0xf4d50d87, 14);
        MD5_STEP(fG, b, c, d, a, x[8], 0x455a14ed, 20);
        MD5_STEP(fG, a, b, c, d, x[13], 0xa9e3e905, 5);
        MD5_STEP(fG, d, a, b, c, x[2], 0xfcefa3f8, 9);
        MD5_STEP(fG, c, d, a, b, x[7], 0x676f02d9, 14);
        MD5_STEP(fG, b, c, d, a, x[12], 0x8d2a4c8a, 20);

        MD5_STEP(fH, a, b, c, d, x[5], 0xfffa3942, 4);
        MD5_STEP(fH, d, a, b, c, x[8], 0x8771f681, 11);
        MD5_STEP(fH, c, d, a, b, x[11], 0x6d9d6122, 16);
        MD5_STEP(fH, b, c, d, a, x[14], 0xfde5380c, 23);
        MD5_STEP(fH, a, b, c, d, x[1], 0xa4beea44, 4);
        MD5_STEP(fH, d, a, b, c, x[4], 0x4bdecfa9, 11);
        MD5_STEP(fH, c, d, a, b, x[7], 0xf6bb4b60, 16);
        MD5_STEP(fH, b, c, d, a, x[10], 0xbebfbc70, 23);
        MD5_STEP(fH, a, b, c, d, x[13], 0x289b7ec6, 4);
        MD5_STEP(fH, d, a, b, c, x[0], 0xeaa127fa, 11);
        MD5_STEP(fH, c, d, a, b, x[3], 0xd4ef3085, 16);
        MD5_STEP(fH, b, c, d, a, x[6], 0x04881d05, 23);
        MD5_STEP(fH, a, b, c, d, x[9], 0xd9d4d039, 4);
        MD5_STEP(fH, d, a, b, c, x[12], 0xe6db99e5, 11);
        MD5_STEP(fH, c, d, a, b, x[15], 0x1fa27cf8, 16);
        MD5_STEP(fH, b, c, d, a, x[2], 0xc4ac5665, 23);

        MD5_STEP(fI, a, b, c, d, x[0], 0xf4292244, 6);
        MD5_STEP(fI, d, a, b, c, x[7], 0x432aff97, 10);
        MD5_STEP(fI, c, d, a, b, x[14], 0xab9423a7, 15);
        MD5_STEP(fI, b, c, d, a, x[5], 0xfc93a039, 21);
        MD5_STEP(fI, a, b, c, d, x[12], 0x655b59c3, 6);
        MD5_STEP(fI, d, a, b, c, x[3], 0x8f0ccc92, 10);
        MD5_STEP(fI, c, d, a, b, x[10], 0xffeff47d, 15);
        MD5_STEP(fI, b, c, d, a, x[1], 0x85845dd1, 21);
        MD5_STEP(fI, a, b, c, d, x[8], 0x6fa87e4f, 6);
        MD5_STEP(fI, d, a, b, c, x[15], 0xfe2ce6e0, 10);
        MD5_STEP(fI, c, d, a, b, x[6], 0xa3014314, 15);
        MD5_STEP(fI, b, c, d, a, x[13], 0x4e0811a1, 21);
        MD5_STEP(fI, a, b, c, d, x[4], 0xf7537e82, 6);
        MD5_STEP(fI, d, a, b, c, x[11], 0xbd3af235, 10);
        MD5_STEP(fI, c, d, a, b, x[2], 0x2ad7d2bb, 15);
        MD5_STEP(fI, b, c, d, a, x[9], 0xeb86d391, 21);

        a0 += a;
        b0 += b;
        c0 += c;
        d0 += d;
    }
    state_ = {a0, b0, c0, d0};
}

#undef MD5_STEP

void Md5::reset() {
    state_ = kInitialState;
    totalBytes_ = 0;
    pendingLength_ = 0;
}

void Md5::update(const void* data, size_t length) {
    auto in = static_cast<const uint8_t*>(data);
    totalBytes_ += length;
    if (pendingLength_ > 0) {
        size_t take = std::min(length, kBlockSize - pendingLength_);
        std::memcpy(pending_.data() + pendingLength_, in, take);
        pendingLength_ += take;
        in += take;
        length -= take;
        if (pendingLength_ < kBlockSize) {
            return;
        }
        compress(pending_.data(), 1);
        pendingLength_ = 0;
    }
    size_t whole = length / kBlockSize;
    if (whole > 0) {
        compress(in, whole);
        in += whole * kBlockSize;
        length -= whole * kBlockSize;
    }
    if (length > 0) {
        std::memcpy(pending_.data(), in, length);
        pendingLength_ = length;
    }
}

Md5::Digest Md5::finish() {
    // Padding: 0x80, zeros up to 56 mod 64, then the message length in bits, little-endian.
    constexpr size_t kLengthOffset = kBlockSize - 8;
    uint64_t bits = totalBytes_ * 8;
    pending_[pendingLength_++] = 0x80;
    if (pendingLength_ > kLengthOffset) {
        std::memset(pending_.data() + pendingLength_, 0, kBlockSize - pendingLength_);
        compress(pending_.data(), 1);
        pendingLength_ = 0;
    }
    std::memset(pending_.data() + pendingLength_, 0, kLengthOffset - pendingLength_);
    storeLittle32(pending_.data() + kLengthOffset, static_cast<uint32_t>(bits));
    storeLittle32(pending_.data() + kLengthOffset + 4, static_cast<uint32_t>(bits >> 32));
    compress(pending_.data(), 1);

    Digest digest;
    for (size_t i = 0; i < state_.size(); ++i) {
        storeLittle32(digest.data() + 4 * i, state_[i]);
    }
    reset();
    return digest;
}

Md5::Digest Md5::of(std::span<const uint8_t> bytes) {
    Md5 md5;
    md5.update(bytes);
    return md5.finish();
}

std::string Md5::toHex(const Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest.size());
    for (uint8_t b : digest) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

}  // namespace plugshift
