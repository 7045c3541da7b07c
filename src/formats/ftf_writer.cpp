#include "formats/ftf_writer.h"

#include <algorithm>
#include <cerrno>
#include <cwchar>
#include <cwctype>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "formats/ansi_text.h"
#include "formats/file_bytes.h"
#include "formats/md5.h"

namespace plugshift {

namespace {

bool refuse(const wchar_t* format, const std::wstring& value) {
    ErrorChain::add(kErrorFtf, format, value.c_str());
    return false;
}

bool narrowField(const std::wstring& text, size_t maxLength, const wchar_t* tooLong,
                 std::string& out) {
    if (!narrowAnsi(text, out)) {
        return refuse(L"Error:[%ls] has characters without a single-byte form.", text);
    }
    if (out.size() > maxLength) {
        return refuse(tooLong, text);
    }
    return true;
}

// The clear prefix that loadFtf strips before the body.
bool buildPrefix(const FtfFields& fields, std::vector<uint8_t>& prefix) {
    prefix.clear();
    std::string text;
    switch (fields.type) {
        case kFtfModelPrefix:
            if (!narrowField(fields.modelNumber, ftf::kMaxModelNameLength,
                             L"Error:the model name [%ls] is too long.", text)) {
                return false;
            }
            prefix.resize(ftf::kCodeplugVersionSize);
            writeLittleEndian32(prefix.data(), fields.codeplugVersion);
            prefix.push_back(static_cast<uint8_t>(text.size()));
            prefix.insert(prefix.end(), text.begin(), text.end());
            return true;
        case kFtfVersionPrefix1:
        case kFtfVersionPrefix2:
            prefix.resize(ftf::kCodeplugVersionSize);
            writeLittleEndian32(prefix.data(), fields.codeplugVersion);
            return true;
        case kFtfRegionPrefix:
            if (!narrowField(fields.regionName, ftf::kMaxRegionNameLength,
                             L"Error:the region name [%ls] is too long.", text)) {
                return false;
            }
            prefix.push_back(static_cast<uint8_t>(text.size()));
            prefix.insert(prefix.end(), text.begin(), text.end());
            return true;
        default:
            return refuse(L"Error:invalid FTF type [%ls].", std::to_wstring(fields.type));
    }
}

// Reads an unsigned decimal number at `pos`, at most `max`.
bool parseNumber(std::wstring_view text, size_t& pos, uint32_t max, uint32_t& value) {
    size_t start = pos;
    uint64_t number = 0;
    while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9' && number <= max) {
        number = number * 10 + static_cast<uint64_t>(text[pos++] - L'0');
    }
    if (pos == start || number > max) {
        return false;
    }
    value = static_cast<uint32_t>(number);
    return true;
}

// Letter, then numbers separated by full stops: "R01.02" gives 'R', {1, 2}.
bool parseLetterVersion(std::wstring_view text, size_t minNumbers, size_t maxNumbers,
                        uint8_t bytes[4], size_t& numbers) {
    std::string letter;
    if (text.empty() || !std::iswalpha(text[0]) || !narrowAnsi(text.substr(0, 1), letter)) {
        return false;
    }
    bytes[0] = static_cast<uint8_t>(letter[0]);
    size_t pos = 1;
    numbers = 0;
    while (numbers < maxNumbers) {
        uint32_t value = 0;
        if (!parseNumber(text, pos, 0xFF, value)) {
            return false;
        }
        bytes[1 + numbers++] = static_cast<uint8_t>(value);
        if (pos == text.size()) {
            break;
        }
        if (text[pos++] != L'.') {
            return false;
        }
    }
    return pos == text.size() && numbers >= minNumbers;
}

}  // namespace

bool buildFtf(const FtfFields& fields, std::span<const uint8_t> body, std::vector<uint8_t>& file) {
    std::string name;
    std::vector<uint8_t> prefix;
    if (!narrowField(fields.internalName, ftf::kMaxNameLength,
                     L"Error:the internal name [%ls] is too long.", name) ||
        !buildPrefix(fields, prefix)) {
        return false;
    }
    const uint64_t payloadLength = uint64_t{prefix.size()} + body.size();
    if (payloadLength > UINT32_MAX) {
        return refuse(L"Error:the body of [%ls] is too long for a flash file.",
                      fields.internalName);
    }

    file.assign(ftf::kHeaderSize, 0);
    std::copy(ftf::kSignature.begin(), ftf::kSignature.end(), file.begin());
    file[ftf::kVersionOffset] = fields.versionLetter;
    file[ftf::kVersionOffset + 1] = fields.versionMajor;
    file[ftf::kVersionOffset + 2] = fields.versionMinor;
    file[ftf::kVersionOffset + 3] = fields.versionFourth;
    file[ftf::kTypeOffset] = static_cast<uint8_t>(fields.type);
    writeBigEndian32(&file[ftf::kPayloadLengthOffset], static_cast<uint32_t>(payloadLength));
    file[ftf::kNameLengthOffset] = static_cast<uint8_t>(name.size());
    file.insert(file.end(), name.begin(), name.end());
    file.insert(file.end(), prefix.begin(), prefix.end());
    const size_t bodyOffset = file.size();
    file.insert(file.end(), body.begin(), body.end());
    scrambleFtfBody(file.data() + bodyOffset, body.size());

    Md5::Digest digest =
        Md5::of({file.data() + ftf::kDigestedFrom, file.size() - ftf::kDigestedFrom});
    std::copy(digest.begin(), digest.end(), file.begin() + ftf::kDigestOffset);
    return true;
}

bool writeFtf(const std::wstring& path, const FtfFields& fields, std::span<const uint8_t> body) {
    std::vector<uint8_t> file;
    if (!buildFtf(fields, body, file)) {
        return false;
    }
    std::wstring reason;
    if (!writeWholeFile(path, file, reason)) {
        ErrorChain::add(kErrorFile, L"Error:failed to write file [%ls]: %ls.", path.c_str(),
                        reason.c_str());
        return false;
    }
    return true;
}

bool parseFtfVersion(std::wstring_view text, FtfFields& fields) {
    uint8_t bytes[4] = {};
    size_t numbers = 0;
    if (!parseLetterVersion(text, 2, 3, bytes, numbers)) {
        return false;
    }
    fields.versionLetter = bytes[0];
    fields.versionMajor = bytes[1];
    fields.versionMinor = bytes[2];
    fields.versionFourth = bytes[3];
    return true;
}

bool parseCodeplugVersion(std::wstring_view text, uint32_t& version) {
    uint8_t bytes[4] = {};
    size_t numbers = 0;
    if (parseLetterVersion(text, 3, 3, bytes, numbers)) {
        version = readLittleEndian32(bytes);
        return true;
    }
    const std::wstring copy(text);
    wchar_t* end = nullptr;
    errno = 0;
    unsigned long long value = std::wcstoull(copy.c_str(), &end, 0);
    if (copy.empty() || !std::iswdigit(copy[0]) || *end != L'\0' || errno != 0 ||
        value > UINT32_MAX) {
        return false;
    }
    version = static_cast<uint32_t>(value);
    return true;
}

}  // namespace plugshift
