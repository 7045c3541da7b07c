#include "conversion/personality_backup.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>
#include <system_error>
#include <tuple>

#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "formats/file_bytes.h"
#include "formats/md5.h"
#include "platform/system_files.h"
#include "platform/system_time.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

constexpr size_t kDigestOffset = 12;
constexpr size_t kBodyOffset = kDigestOffset + 16;
constexpr const char* kUnknown = "unknown";

bool damaged(const std::wstring& path, const std::wstring& why) {
    ErrorChain::add(kErrorFile, L"Error:the personality backup [%ls] is damaged: %ls.",
                    path.c_str(), why.c_str());
    return false;
}

bool notWritten(const std::wstring& path, const std::wstring& why) {
    ErrorChain::add(kErrorFile, L"Error:failed to write the personality backup [%ls] (%ls).",
                    path.c_str(), why.c_str());
    return false;
}

void putLe(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void putBytes(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// Reads the fields of a file front to back; any read past the end fails it.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool le(uint64_t& value, int bytes) {
        if (left() < static_cast<size_t>(bytes)) {
            return false;
        }
        value = 0;
        for (int i = 0; i < bytes; ++i) {
            value |= uint64_t{bytes_[at_ + i]} << (8 * i);
        }
        at_ += static_cast<size_t>(bytes);
        return true;
    }
    bool take(size_t length, std::vector<uint8_t>& out) {
        if (left() < length) {
            return false;
        }
        out.assign(bytes_.begin() + static_cast<ptrdiff_t>(at_),
                   bytes_.begin() + static_cast<ptrdiff_t>(at_ + length));
        at_ += length;
        return true;
    }
    size_t left() const { return bytes_.size() - at_; }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

// What is wrong with the body, or nothing when it reads whole.
std::optional<std::wstring> readBody(Reader& in, PersonalityBackup& out) {
    const std::wstring kShort = L"it ends early";
    uint64_t value = 0;
    if (!in.le(value, 8)) {
        return kShort;
    }
    out.createdAtMs = static_cast<int64_t>(value);
    for (std::vector<uint8_t>* field : {&out.model, &out.serial}) {
        if (!in.le(value, 1)) {
            return kShort;
        }
        if (value > PersonalityBackup::kMaxIdentityBytes) {
            return L"its radio identity is too long";
        }
        if (!in.take(value, *field)) {
            return kShort;
        }
    }
    std::vector<uint8_t> version;
    if (!in.take(out.codeplugVersion.size(), version)) {
        return kShort;
    }
    std::copy(version.begin(), version.end(), out.codeplugVersion.begin());

    uint64_t count = 0;
    if (!in.le(count, 1)) {
        return kShort;
    }
    for (uint64_t i = 0; i < count; ++i) {
        KeptBlock block;
        uint64_t kind = 0;
        uint64_t address = 0;
        uint64_t length = 0;
        if (!in.le(kind, 4) || !in.le(address, 4) || !in.le(length, 4)) {
            return kShort;
        }
        block.kind = static_cast<int32_t>(static_cast<uint32_t>(kind));
        // A conversion keeps DYN blocks only; nothing else may be written back.
        if (block.kind != kBlockDyn) {
            return formatWide(L"block %d is no DYN block", static_cast<int>(i + 1));
        }
        if (length > PersonalityBackup::kMaxBlockLength) {
            return formatWide(L"block %d is too long", static_cast<int>(i + 1));
        }
        block.address = static_cast<uint32_t>(address);
        if (!in.take(length, block.data)) {
            return kShort;
        }
        out.personality.blocks.push_back(std::move(block));
    }

    if (!in.le(count, 2)) {
        return kShort;
    }
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t group = 0;
        uint64_t length = 0;
        std::vector<uint8_t> data;
        if (!in.le(group, 1) || !in.le(length, 2)) {
            return kShort;
        }
        if (length > PersonalityBackup::kMaxContactLength) {
            return formatWide(L"contact %d is too long", static_cast<int>(i + 1));
        }
        if (!in.take(length, data)) {
            return kShort;
        }
        if (Personality::contactGroup(data) != static_cast<int>(group)) {
            return formatWide(L"contact %d is not filed under the group its bytes name",
                              static_cast<int>(i + 1));
        }
        out.personality.addContact(data);
    }
    if (in.left() != 0) {
        return L"it has bytes after its end";
    }
    return std::nullopt;
}

// Letters and digits as they are; anything else would be awkward in a file name.
std::string nameSafe(const std::optional<std::wstring>& text) {
    if (!text || text->empty()) {
        return kUnknown;
    }
    std::string out;
    for (wchar_t c : *text) {
        const bool plain =
            (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
        out += plain ? static_cast<char>(c) : '-';
    }
    return out;
}

std::string stamp(int64_t ms) {
    const auto seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    utcTime(seconds, utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d-%03d", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

// The name parts of a backup file: model, radio key, stamp and a collision counter.
struct BackupName {
    std::string key;
    std::string stamp;
    int counter = 0;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The parts of a name fileName() made; nothing for any other file.
std::optional<BackupName> parseName(const std::string& name) {
    const std::string extension = PersonalityBackup::kExtension;
    if (name.size() <= extension.size() ||
        name.compare(name.size() - extension.size(), extension.size(), extension) != 0) {
        return std::nullopt;
    }
    const std::string stem = name.substr(0, name.size() - extension.size());
    const size_t last = stem.rfind('_');
    if (last == std::string::npos || last == 0) {
        return std::nullopt;
    }
    const size_t middle = stem.rfind('_', last - 1);
    if (middle == std::string::npos) {
        return std::nullopt;
    }
    BackupName parsed;
    parsed.key = stem.substr(middle + 1, last - middle - 1);
    parsed.stamp = stem.substr(last + 1);
    // "YYYYMMDD-HHMMSS-mmm" and, after a collision, "-n".
    constexpr std::string_view kShape = "dddddddd-dddddd-ddd";
    if (parsed.stamp.size() > kShape.size()) {
        const std::string tail = parsed.stamp.substr(kShape.size());
        if (tail.size() < 2 || tail.size() > 6 || tail[0] != '-' ||
            !std::all_of(tail.begin() + 1, tail.end(), isDigit)) {
            return std::nullopt;
        }
        parsed.counter = std::stoi(tail.substr(1));
        parsed.stamp.resize(kShape.size());
    }
    if (parsed.stamp.size() != kShape.size()) {
        return std::nullopt;
    }
    for (size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == 'd' ? !isDigit(parsed.stamp[i]) : parsed.stamp[i] != kShape[i]) {
            return std::nullopt;
        }
    }
    return parsed;
}

}  // namespace

std::vector<uint8_t> PersonalityBackup::encode() const {
    std::vector<uint8_t> out(kMagic.begin(), kMagic.end());
    putLe(out, kFormatVersion, 2);
    putLe(out, 0, 2);
    out.resize(kBodyOffset);  // the digest goes in last
    putLe(out, static_cast<uint64_t>(createdAtMs), 8);
    for (const std::vector<uint8_t>* field : {&model, &serial}) {
        const size_t length = std::min(field->size(), kMaxIdentityBytes);
        putLe(out, length, 1);
        putBytes(out, std::span(*field).first(length));
    }
    putBytes(out, codeplugVersion);
    putLe(out, personality.blocks.size(), 1);
    for (const KeptBlock& block : personality.blocks) {
        putLe(out, static_cast<uint32_t>(block.kind), 4);
        putLe(out, block.address, 4);
        putLe(out, block.data.size(), 4);
        putBytes(out, block.data);
    }
    putLe(out, personality.contactCount(), 2);
    for (int group : {1, 2, 3, 4, Personality::kNoGroup}) {
        for (const auto& contact : personality.group(group)) {
            putLe(out, static_cast<uint64_t>(group), 1);
            putLe(out, contact.size(), 2);
            putBytes(out, contact);
        }
    }
    const Md5::Digest digest = Md5::of(std::span(out).subspan(kBodyOffset));
    std::copy(digest.begin(), digest.end(), out.begin() + kDigestOffset);
    return out;
}

bool PersonalityBackup::decode(std::span<const uint8_t> file, const std::wstring& path,
                               PersonalityBackup& out) {
    out = PersonalityBackup{};
    if (file.size() < kBodyOffset || !std::equal(kMagic.begin(), kMagic.end(), file.begin())) {
        return damaged(path, L"it is no personality backup");
    }
    const int version = file[8] | (file[9] << 8);
    if (version != kFormatVersion) {
        return damaged(path, formatWide(L"its format version %d is not known", version));
    }
    const Md5::Digest digest = Md5::of(file.subspan(kBodyOffset));
    if (!std::equal(digest.begin(), digest.end(), file.begin() + kDigestOffset)) {
        return damaged(path, L"its digest does not match");
    }
    Reader in(file.subspan(kBodyOffset));
    if (const auto fault = readBody(in, out)) {
        out = PersonalityBackup{};
        return damaged(path, *fault);
    }
    return true;
}

bool PersonalityBackup::load(const std::filesystem::path& path, PersonalityBackup& out) {
    std::vector<uint8_t> bytes;
    const std::wstring name = fromUtf8(utf8FromPath(path));
    switch (readWholeFile(name, bytes, kMaxFileSize)) {
        case FileReadResult::kOk:
            return decode(bytes, name, out);
        case FileReadResult::kTooLarge:
            return damaged(name, L"it is too large");
        default:
            ErrorChain::add(kErrorFile, L"Error:failed to read the personality backup [%ls] (%ls).",
                            name.c_str(), fromUtf8(std::strerror(errno)).c_str());
            return false;
    }
}

std::string PersonalityBackup::radioKey() const {
    return nameSafe(RadioInfo::serialText(serial));
}

std::string PersonalityBackup::fileName() const {
    return nameSafe(RadioInfo::modelText(model)) + "_" + radioKey() + "_" + stamp(createdAtMs) +
           kExtension;
}

bool PersonalityBackup::save(const std::filesystem::path& folder,
                             std::filesystem::path& written) const {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return notWritten(fromUtf8(utf8FromPath(folder)), fromUtf8(error.message()));
    }
    // Two runs within a millisecond must not overwrite each other's backup.
    std::filesystem::path path = folder / fileName();
    for (int counter = 2; std::filesystem::exists(path, error); ++counter) {
        std::string name = fileName();
        name.insert(name.size() - std::strlen(kExtension),
                    std::string("-").append(std::to_string(counter)));
        path = folder / name;
    }
    const std::vector<uint8_t> bytes = encode();
    const std::wstring name = fromUtf8(utf8FromPath(path));
    std::wstring reason;
    if (!writeWholeFile(name, bytes, reason) || !syncFolder(folder)) {
        if (reason.empty()) {
            reason = fromUtf8(std::strerror(errno));
        }
        return notWritten(name, reason);
    }
    // What cannot be read back whole is no backup, even if the disk took it.
    std::vector<uint8_t> back;
    PersonalityBackup check;
    if (readWholeFile(name, back, kMaxFileSize) != FileReadResult::kOk || back != bytes ||
        !decode(back, name, check)) {
        return notWritten(name, L"it does not read back as written");
    }
    written = path;
    return true;
}

size_t PersonalityBackup::prune(const std::filesystem::path& current, size_t keep) {
    const auto own = parseName(utf8FromPath(current.filename()));
    if (!own || own->key == kUnknown) {
        return 0;
    }
    std::vector<std::tuple<std::string, int, std::filesystem::path>> others;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(current.parent_path(), error)) {
        if (!entry.is_regular_file(error) || entry.path().filename() == current.filename()) {
            continue;
        }
        const auto name = parseName(utf8FromPath(entry.path().filename()));
        if (name && name->key == own->key) {
            others.emplace_back(name->stamp, name->counter, entry.path());
        }
    }
    const size_t othersKept = keep > 0 ? keep - 1 : 0;
    if (others.size() <= othersKept) {
        return 0;
    }
    // Newest first.
    std::sort(others.rbegin(), others.rend());
    size_t removed = 0;
    for (size_t i = othersKept; i < others.size(); ++i) {
        // A backup that cannot be removed only takes room; it never fails the conversion.
        removed += std::filesystem::remove(std::get<2>(others[i]), error) ? 1 : 0;
    }
    return removed;
}

}  // namespace plugshift
