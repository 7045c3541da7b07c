#include "formats/ftf_info.h"

#include <algorithm>
#include <cstring>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "formats/ansi_text.h"
#include "formats/file_bytes.h"
#include "formats/ftf_format.h"

namespace plugshift {

namespace {

bool fail(const wchar_t* format, const std::wstring& path) {
    ErrorChain::add(kErrorFtf, format, path.c_str());
    return false;
}

// Walks the head like a file being read: each take() either yields the next bytes or fails.
class HeadReader {
public:
    explicit HeadReader(std::span<const uint8_t> head) : head_(head) {}
    const uint8_t* take(size_t n) {
        if (head_.size() - position_ < n) {
            return nullptr;
        }
        const uint8_t* p = head_.data() + position_;
        position_ += n;
        return p;
    }

private:
    std::span<const uint8_t> head_;
    size_t position_ = 0;
};

}  // namespace

bool parseFtfInfo(const std::wstring& path, std::span<const uint8_t> head, FtfInfo& info) {
    HeadReader reader(head);
    const uint8_t* header = reader.take(ftf::kHeaderSize);
    if (header == nullptr) {
        return fail(L"Error:failed to read FTF header for file [%ls].", path);
    }
    if (!std::equal(ftf::kSignature.begin(), ftf::kSignature.end(), header)) {
        return fail(L"Error:invalid signature for file [%ls].", path);
    }
    std::memset(&info, 0, sizeof info);
    info.type = header[ftf::kTypeOffset];
    if (info.type < kFtfModelPrefix || info.type > kFtfRegionPrefix) {
        return fail(L"Error:invalid FTF type for file [%ls].", path);
    }
    const uint32_t payloadLength = readBigEndian32(header + ftf::kPayloadLengthOffset);

    info.nameLength = header[ftf::kNameLengthOffset];
    const uint8_t* name = reader.take(info.nameLength);
    if (name == nullptr) {
        return fail(L"Error:failed to read internal name for file [%ls].", path);
    }
    for (size_t i = 0; i < info.nameLength; ++i) {
        info.internalName[i] = widenAnsi(name[i]);
    }

    switch (info.type) {
        case kFtfModelPrefix: {
            const uint8_t* prefix = reader.take(ftf::kCodeplugVersionSize + 1);
            if (prefix == nullptr) {
                return fail(L"Error:faild to retrival codeplug version for [%ls].", path);
            }
            info.codeplugVersion = readLittleEndian32(prefix);
            const uint8_t modelLength = prefix[ftf::kCodeplugVersionSize];
            const uint8_t* model = reader.take(modelLength);
            if (model == nullptr) {
                return fail(L"Error:failed to retrival model number for [%ls].", path);
            }
            info.modelNumberLength =
                static_cast<uint8_t>(std::min<size_t>(modelLength, FtfInfo::kModelNumberRoom));
            std::memcpy(info.modelNumber, model, info.modelNumberLength);
            info.bodyLength =
                static_cast<int32_t>(payloadLength - modelLength - (ftf::kCodeplugVersionSize + 1));
            break;
        }
        case kFtfVersionPrefix1:
        case kFtfVersionPrefix2: {
            const uint8_t* prefix = reader.take(ftf::kCodeplugVersionSize);
            if (prefix == nullptr) {
                return fail(L"Error:faild to retreval codeplug version for [%ls].", path);
            }
            info.codeplugVersion = readLittleEndian32(prefix);
            info.bodyLength = static_cast<int32_t>(payloadLength - ftf::kCodeplugVersionSize);
            break;
        }
        case kFtfRegionPrefix: {
            const uint8_t* prefix = reader.take(1);
            if (prefix == nullptr) {
                return fail(L"Error:faild to retreval codeplug version for [%ls].", path);
            }
            const uint8_t regionLength = prefix[0];
            const uint8_t* region = reader.take(regionLength);
            if (region == nullptr) {
                return fail(L"Error:failed to retrival model number for [%ls].", path);
            }
            const size_t kept = std::min<size_t>(regionLength, FtfInfo::kRegionNameRoom);
            for (size_t i = 0; i < kept; ++i) {
                info.regionName[i] = widenAnsi(region[i]);
            }
            info.bodyLength = static_cast<int32_t>(payloadLength - regionLength - 1);
            break;
        }
    }
    return true;
}

bool readFtfInfo(const wchar_t* path, FtfInfo& info) {
    if (path == nullptr) {
        return false;
    }
    const std::wstring name = path;
    std::vector<uint8_t> head;
    // One read of the longest possible header and prefix; a read error counts as no bytes.
    switch (readFileHead(name, ftf::kMaxHeadSize, head)) {
        case FileReadResult::kOpenFailed:
            ErrorChain::add(kErrorFile, L"Error:failed to open the file [%ls].", name.c_str());
            return false;
        case FileReadResult::kOk:
            break;
        default:
            head.clear();
            break;
    }
    return parseFtfInfo(name, head, info);
}

}  // namespace plugshift
