#include "config/cp1252.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace plugshift {

namespace {

constexpr const char* kCodePage = "WINDOWS-1252";
constexpr const char* kWide = "WCHAR_T";

// iconv knows no character for these bytes; Windows passes them through as C1 controls.
bool isUndefinedByte(uint32_t value) {
    return value == 0x81 || value == 0x8D || value == 0x8F || value == 0x90 || value == 0x9D;
}

class Converter {
  public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) {
            iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can into out; returns false with errno set when it stops early.
    bool run(const char*& in, size_t& inLeft, std::string& out) {
        char buffer[1024];
        while (inLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            auto* src = const_cast<char*>(in);
            size_t rc = iconv(handle_, &src, &inLeft, &dst, &dstLeft);
            int saved = errno;
            in = src;
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (rc == static_cast<size_t>(-1) && saved != E2BIG) {
                errno = saved;
                return false;
            }
        }
        return true;
    }

  private:
    iconv_t handle_;
};

}  // namespace

bool cp1252ToWide(std::string_view bytes, std::wstring& text) {
    text.clear();
    Converter converter(kWide, kCodePage);
    if (!converter.ok()) {
        return false;
    }
    const char* in = bytes.data();
    size_t inLeft = bytes.size();
    std::string wide;
    while (!converter.run(in, inLeft, wide)) {
        auto byte = static_cast<unsigned char>(*in);
        if ((errno != EILSEQ && errno != EINVAL) || !isUndefinedByte(byte)) {
            return false;
        }
        wchar_t c1 = byte;
        wide.append(reinterpret_cast<const char*>(&c1), sizeof c1);
        ++in;
        --inLeft;
    }
    text.resize(wide.size() / sizeof(wchar_t));
    std::char_traits<char>::copy(reinterpret_cast<char*>(text.data()), wide.data(),
                                 text.size() * sizeof(wchar_t));
    return true;
}

bool wideToCp1252(std::wstring_view text, std::string& bytes) {
    bytes.clear();
    Converter converter(kCodePage, kWide);
    if (!converter.ok()) {
        return false;
    }
    const char* in = reinterpret_cast<const char*>(text.data());
    size_t inLeft = text.size() * sizeof(wchar_t);
    while (!converter.run(in, inLeft, bytes)) {
        wchar_t c;
        std::char_traits<char>::copy(reinterpret_cast<char*>(&c), in, sizeof c);
        if (errno != EILSEQ || !isUndefinedByte(static_cast<uint32_t>(c))) {
            return false;
        }
        bytes += static_cast<char>(c);
        in += sizeof c;
        inLeft -= sizeof c;
    }
    return true;
}

}  // namespace plugshift
