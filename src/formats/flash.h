#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plugshift {

// Owns one heap buffer for flash data; the radio record keeps one for the whole session.
class Flash {
public:
    Flash() = default;
    virtual ~Flash() = default;
    Flash(const Flash&) = delete;
    Flash& operator=(const Flash&) = delete;

    // Resizes the buffer; new bytes are zero. Keeps the allocation when it shrinks.
    void resize(size_t length) { buffer_.resize(length); }
    void release() { std::vector<uint8_t>().swap(buffer_); }
    uint8_t* data() { return buffer_.data(); }
    const uint8_t* data() const { return buffer_.data(); }
    size_t size() const { return buffer_.size(); }

private:
    std::vector<uint8_t> buffer_;
};

}  // namespace plugshift
