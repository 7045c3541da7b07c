#include "formats/ftf_image.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "formats/ansi_text.h"
#include "formats/file_bytes.h"
#include "formats/ftf_format.h"
#include "formats/md5.h"

namespace plugshift {

namespace {

// Far above any real flash file; keeps a wrong path (a disk image, say) from exhausting memory.
constexpr uint64_t kMaxFileSize = 256u << 20;

constexpr size_t kModelPrefixFixed = ftf::kCodeplugVersionSize + 1;  // version, length byte
constexpr size_t kRegionPrefixFixed = 1;                             // length byte

void empty(FtfImage& image) {
    std::vector<uint8_t>().swap(image.data);
    image.length = 0;
    image.versionText.clear();
    image.internalName.clear();
}

bool fail(FtfImage& image, int category, const wchar_t* format, const std::wstring& path) {
    ErrorChain::add(category, format, path.c_str());
    empty(image);
    return false;
}

bool invalidFile(FtfImage& image, const std::wstring& path) {
    return fail(image, kErrorFtf, L"Error:invalid file [%ls].", path);
}

// Reads the clear prefix that the type puts before the body into the image and sets its size.
// False (with a record) when the payload cannot hold the prefix that it announces.
bool readPrefix(FtfImage& image, const std::wstring& path, const uint8_t* payload,
                uint32_t payloadLength, size_t& prefix) {
    switch (image.type) {
        case kFtfModelPrefix: {
            if (payloadLength < kModelPrefixFixed) {
                return invalidFile(image, path);
            }
            image.codeplugVersion = readLittleEndian32(payload);
            const uint8_t modelLength = payload[ftf::kCodeplugVersionSize];
            if (modelLength > FtfImage::kModelNameRoom) {
                return fail(image, kErrorFtf, L"Error:the model name is tool long for [%ls].",
                            path);
            }
            prefix = kModelPrefixFixed + modelLength;
            if (payloadLength < prefix) {
                return invalidFile(image, path);
            }
            std::memcpy(image.modelName, payload + kModelPrefixFixed, modelLength);
            image.modelNameLength = modelLength;
            return true;
        }
        case kFtfVersionPrefix1:
        case kFtfVersionPrefix2:
            prefix = ftf::kCodeplugVersionSize;
            if (payloadLength < prefix) {
                return invalidFile(image, path);
            }
            image.version = readLittleEndian32(payload);
            return true;
        case kFtfRegionPrefix: {
            if (payloadLength < kRegionPrefixFixed) {
                return invalidFile(image, path);
            }
            const uint8_t regionLength = payload[0];
            if (regionLength > ftf::kMaxRegionNameLength) {
                return fail(image, kErrorFtf, L"Error:the region name is too long for [%ls].",
                            path);
            }
            prefix = kRegionPrefixFixed + regionLength;
            if (payloadLength < prefix) {
                return invalidFile(image, path);
            }
            image.regionName = widenAnsi(payload + kRegionPrefixFixed, regionLength);
            return true;
        }
        default:
            prefix = 0;  // an unknown type has no prefix to strip
            return true;
    }
}

// image.data holds a whole file; turns it into the body and the header fields.
bool decode(const std::wstring& path, FtfImage& image) {
    std::vector<uint8_t>& d = image.data;
    const size_t fileSize = d.size();
    // Nothing of the header is used before it is known to be there, name included.
    if (fileSize < ftf::kHeaderSize || fileSize < ftf::kHeaderSize + d[ftf::kNameLengthOffset]) {
        return invalidFile(image, path);
    }
    if (!std::equal(ftf::kSignature.begin(), ftf::kSignature.end(), d.begin())) {
        return fail(image, kErrorFtf, L"Error:invalid signature for file [%ls].", path);
    }
    Md5::Digest digest = Md5::of({d.data() + ftf::kDigestedFrom, fileSize - ftf::kDigestedFrom});
    if (!std::equal(digest.begin(), digest.end(), d.begin() + ftf::kDigestOffset)) {
        return invalidFile(image, path);
    }

    image.type = d[ftf::kTypeOffset];
    image.versionText = ftfVersionText(&d[ftf::kVersionOffset]);
    image.version = readLittleEndian32(&d[ftf::kVersionOffset]);
    const size_t nameLength = d[ftf::kNameLengthOffset];
    image.internalName = widenAnsi(&d[ftf::kHeaderSize], nameLength);
    // A field of another type must not survive from an earlier load into the same image.
    image.codeplugVersion = 0;
    image.modelNameLength = 0;
    std::memset(image.modelName, 0, sizeof image.modelName);
    image.regionName.clear();

    const uint32_t payloadLength = readBigEndian32(&d[ftf::kPayloadLengthOffset]);
    const size_t payloadOffset = ftf::kHeaderSize + nameLength;
    if (fileSize - payloadOffset < payloadLength) {
        return invalidFile(image, path);
    }
    size_t prefix = 0;
    if (!readPrefix(image, path, d.data() + payloadOffset, payloadLength, prefix)) {
        return false;
    }
    image.length = payloadLength - static_cast<uint32_t>(prefix);
    std::memmove(d.data(), d.data() + payloadOffset + prefix, image.length);
    scrambleFtfBody(d.data(), image.length);
    return true;
}

}  // namespace

bool loadFtf(const wchar_t* path, FtfImage& image) {
    const std::wstring name = path != nullptr ? path : L"";
    FileReadResult read;
    try {
        read = readWholeFile(name, image.data, kMaxFileSize);
    } catch (const std::bad_alloc&) {
        read = FileReadResult::kReadFailed;
    }
    switch (read) {
        case FileReadResult::kOk:
            return decode(name, image);
        case FileReadResult::kOpenFailed:
            return fail(image, kErrorFile, L"Error:failed to open file [%ls].", name);
        case FileReadResult::kReadFailed:
            return fail(image, kErrorFile, L"Error:failed to read file [%ls].", name);
        case FileReadResult::kTooLarge:
            break;
    }
    return invalidFile(image, name);
}

bool loadFtfBytes(const std::wstring& path, std::vector<uint8_t>&& file, FtfImage& image) {
    image.data = std::move(file);
    return decode(path, image);
}

}  // namespace plugshift
