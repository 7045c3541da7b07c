#include "config/configuration.h"

#include <algorithm>
#include <cerrno>
#include <cwctype>
#include <new>

#include "config/config_scrambler.h"
#include "config/xml_dom.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/ansi_text.h"
#include "formats/codeplug_image.h"
#include "formats/flash_catalog.h"
#include "platform/safe_file_writer.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

// Supplementary characters sort by their UTF-16 lead surrogate, i.e. below U+E000..U+FFFF.
uint32_t utf16Rank(wchar_t c) {
    auto value = static_cast<uint32_t>(c);
    return value >= 0x10000 ? 0xD800 + ((value - 0x10000) >> 10) : value;
}

// Every file of the folder that holds config.xml; the catalogue resolves "config.xml/.." by
// name, as the original platform does.
std::wstring catalogPattern(const std::wstring& configPath) {
    return configPath + L"/../*.*";
}

// Leading blanks, an optional sign and decimal digits up to the first other character, like
// the C runtime's wcstol with a 32-bit long: no digits gives 0, overflow saturates.
int32_t leadingDecimal(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i++] == L'-';
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = std::min<int64_t>(value * 10 + (text[i] - L'0'), int64_t{INT32_MAX} + 1);
    }
    value = negative ? -value : std::min<int64_t>(value, INT32_MAX);
    return static_cast<int32_t>(value);
}

int hexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

// Leading blanks, an optional "0x", hexadecimal digits up to the first other character. The
// value is taken as 32 bits (flash addresses use all of them); longer numbers saturate.
int32_t leadingHex(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) {
        ++i;
    }
    if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
        i += 2;
    }
    uint64_t value = 0;
    for (; i < text.size() && hexDigit(text[i]) >= 0; ++i) {
        value =
            std::min<uint64_t>(value * 16 + static_cast<uint64_t>(hexDigit(text[i])), UINT32_MAX);
    }
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// "3^7^3" -> {3, 7}: each piece between "^" read as a decimal number, low 8 bits kept.
std::set<uint8_t> codeSet(const std::wstring& text) {
    std::set<uint8_t> codes;
    if (text.empty()) {
        return codes;
    }
    size_t start = 0;
    for (;;) {
        size_t end = text.find(L'^', start);
        codes.insert(static_cast<uint8_t>(
            leadingDecimal(text.substr(start, end == std::wstring::npos ? end : end - start)) &
            0xFF));
        if (end == std::wstring::npos) {
            return codes;
        }
        start = end + 1;
    }
}

bool equalsNoCase(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != L'\0'; ++i) {
        if (std::towupper(static_cast<wint_t>(a[i])) != std::towupper(static_cast<wint_t>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && b[i] == L'\0';
}

// Next key after the cursor's last one; at the end the pass is over and the next call restarts.
template <class Map, class Key>
bool advance(const Map& map, bool& active, Key& last, Key& out) {
    auto it = active ? map.upper_bound(last) : map.begin();
    if (it == map.end()) {
        active = false;
        out = Key{};
        return false;
    }
    active = true;
    last = it->first;
    out = it->first;
    return true;
}

}  // namespace

bool Utf16Less::operator()(const std::wstring& a, const std::wstring& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
            uint32_t rx = utf16Rank(x);
            uint32_t ry = utf16Rank(y);
            return rx != ry ? rx < ry : static_cast<uint32_t>(x) < static_cast<uint32_t>(y);
        });
}

Configuration::Configuration() : writer_(&SafeFileWriter::standard()) {}

Configuration::~Configuration() = default;

Configuration& Configuration::instance() {
    static Configuration configuration;
    return configuration;
}

void Configuration::reset() {
    regionId_.clear();
    regionName_.clear();
    addressFiles_.clear();
    rangeRules_.clear();
    models_.clear();
    installId_.clear();
    dealerCode_.clear();
    acceptedCode_.clear();
    languages_.clear();
    defaultLanguage_.clear();
    documentPath_.clear();
    xmlText_.clear();
    document_.reset();
    writer_ = &SafeFileWriter::standard();
    addressCursor_ = {};
    modelCursor_ = {};
    blockVersionCursor_ = {};
    blockCursorModel_.clear();
    blockCursorBlock_.clear();
    rangeKindCursor_ = {};
    languageCursor_ = 0;
    languagePassActive_ = false;
}

void Configuration::setFileWriter(SafeFileWriter* writer) {
    writer_ = writer != nullptr ? writer : &SafeFileWriter::standard();
}

bool Configuration::servesRegion(std::wstring& problem) const {
    if (equalsNoCase(regionName_, kRegion)) {
        return true;
    }
    problem = formatWide(
        L"Error:invalid config file.The the applicatio only supportes region [%ls]", kRegion);
    return false;
}

bool Configuration::createDocument() {
    try {
        document_ = std::make_unique<pugi::xml_document>();
    } catch (const std::bad_alloc&) {
        ErrorChain::add(kErrorResource, L"Error:failed to create com instance.");
        return false;
    }
    // pugixml never loads asynchronously, validates or resolves external entities, so the
    // switches of other DOMs have nothing to turn off here.
    return true;
}

void Configuration::releaseDocument() {
    document_.reset();
}

bool Configuration::readScrambledFile(const std::wstring& path) {
    if (path.empty() || path.size() >= kMaxPathLength) {
        return false;
    }
    documentPath_ = path;
    std::string narrow = toUtf8(path);
    int fd =
        narrow.size() <= kMaxNarrowPath ? openFile(pathFromUtf8(narrow), FileOpenMode::kRead) : -1;
    if (fd < 0) {
        ErrorChain::add(kErrorFile, L"Error:failed to open the specified file [%ls].",
                        path.c_str());
        return false;
    }
    int64_t size = std::max<int64_t>(fileSize(fd), 0);
    if (size == 0) {
        closeFile(fd);
        return false;
    }
    std::string bytes;
    if (size <= kMaxFileSize) {
        bytes.resize(static_cast<size_t>(size));
        size_t got = 0;
        while (got < bytes.size()) {
            ssize_t n = readFile(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        bytes.resize(got);
    }
    closeFile(fd);
    if (bytes.size() != static_cast<size_t>(size)) {
        ErrorChain::add(kErrorFile, L"Error:invalid config file.");
        return false;
    }
    scrambleConfigBytes(bytes);
    xmlText_ = std::move(bytes);
    return true;
}

// Widens the held text up to its first NUL, as a NUL-terminated buffer reads, and parses it
// into the document. False when the text is not XML; XmlFault when there is no document.
bool Configuration::parseHeldText() {
    if (!document_) {
        throw XmlFault{};
    }
    return xmldom::parse(*document_, widenAnsi(xmlText_.c_str()));
}

bool Configuration::load(const std::wstring& configPath, const std::wstring& setupPath) {
    if (!loadConfiguration(configPath)) {
        return false;
    }
    if (!loadSetup(setupPath)) {
        noteSetupFileOfThisComputer(setupPath);
        return false;
    }
    return true;
}

bool Configuration::loadConfiguration(const std::wstring& path) {
    try {
        if (!readScrambledFile(path) || !parseHeldText()) {
            ErrorChain::add(kErrorIni, L"The initial file [%ls] is invalid.", path.c_str());
            return false;
        }
        FlashCatalog catalog;
        catalog.scan(catalogPattern(path).c_str());
        pugi::xml_node root = xmldom::documentElement(*document_);
        if (!readRegion(root) || !readAddressFiles(root, catalog)) {
            return false;
        }
        readRangeRules(root);
        if (!readModels(root, catalog)) {
            return false;
        }
        readLanguages(root);
        return true;
    } catch (const XmlFault&) {
    } catch (const std::bad_alloc&) {
    }
    ErrorChain::add(kErrorIni, L"Failed to load config file [%ls].", path.c_str());
    return false;
}

bool Configuration::readRegion(const pugi::xml_node& root) {
    regionId_ = xmldom::text(root, "id");
    if (regionId_.empty()) {
        ErrorChain::add(kErrorIni, L"The Region ID is empty.");
        return false;
    }
    regionName_ = xmldom::text(root, "name");
    if (regionName_.empty()) {
        ErrorChain::add(kErrorIni, L"The Region name is empty.");
        return false;
    }
    return true;
}

bool Configuration::readAddressFiles(const pugi::xml_node& root, const FlashCatalog& catalog) {
    for (const pugi::xml_node& ad : xmldom::descendants(root, "ad")) {
        std::wstring version = xmldom::text(ad, "ver");
        if (version.empty()) {
            ErrorChain::add(kErrorIni, L"The ADDR version is empty.");
            return false;
        }
        std::wstring path;
        if (!catalog.findPath(xmldom::text(ad, "name") + version, path)) {
            ErrorChain::add(kErrorIni, L"Address file is lost.");
            return false;
        }
        addressFiles_[version] = path;
    }
    return true;
}

void Configuration::readRangeRules(const pugi::xml_node& root) {
    pugi::xml_node bu = xmldom::firstDescendant(root, "bu");
    if (!bu) {
        return;
    }
    for (const pugi::xml_node& bl : xmldom::descendants(bu, "bl")) {
        // Only DYN and CON take range rules; any other name is skipped unread.
        std::wstring name = xmldom::text(bl, "name");
        int32_t kind;
        if (equalsNoCase(name, L"DYN")) {
            kind = kBlockDyn;
        } else if (equalsNoCase(name, L"CON")) {
            kind = kBlockCon;
        } else {
            continue;
        }
        RangeRule rule;
        rule.sourceCodes = codeSet(xmldom::text(bl, "from"));
        rule.targetCodes = codeSet(xmldom::text(bl, "to"));
        std::wstring address = xmldom::text(bl, "addr");
        if (!address.empty()) {
            rule.address = leadingHex(address);
        }
        std::wstring length = xmldom::text(bl, "len");
        if (!length.empty()) {
            rule.length = leadingHex(length);
        }
        rangeRules_[kind].push_back(std::move(rule));
    }
}

bool Configuration::readModels(const pugi::xml_node& root, const FlashCatalog& catalog) {
    for (const pugi::xml_node& mo : xmldom::descendants(root, "mo")) {
        ModelEntry entry;
        entry.type = xmldom::text(mo, "type");
        if (entry.type.empty()) {
            ErrorChain::add(kErrorIni, L"Block type is empty.");
            return false;
        }
        entry.alias = xmldom::text(mo, "alias");
        if (entry.alias.empty()) {
            ErrorChain::add(kErrorIni, L"Block alias is empty.");
            return false;
        }
        int32_t picture = xmldom::integer(mo, "img");
        entry.picture = picture >= 0 && picture <= 2 ? picture : -1;
        std::wstring name = xmldom::text(mo, "name");
        if (name.empty()) {
            ErrorChain::add(kErrorIni, L"Model name is empty.");
            return false;
        }
        if (isSupportedModel(name) && !readBlockFiles(mo, name, catalog, entry)) {
            return false;
        }
        models_[name] = std::move(entry);
    }
    return true;
}

bool Configuration::readBlockFiles(const pugi::xml_node& model, const std::wstring& name,
                                   const FlashCatalog& catalog, ModelEntry& entry) {
    for (const pugi::xml_node& bl : xmldom::descendants(model, "bl")) {
        std::wstring block = xmldom::text(bl, "name");
        if (block.empty()) {
            ErrorChain::add(kErrorIni, L"Block name is empty.");
            return false;
        }
        std::wstring version = xmldom::text(bl, "ver");
        if (version.empty()) {
            ErrorChain::add(kErrorIni, L"Block version is empty.");
            return false;
        }
        std::wstring path;
        if (!catalog.findPath(name + block + version, path)) {
            ErrorChain::add(kErrorIni, L"Block %ls file is lost.", block.c_str());
            return false;
        }
        entry.blocks[block][version] = path;
    }
    return true;
}

// Our own addition: "lang" elements with a "code" choose the language menu's entries; without
// them the menu offers every language the tool has help for.
void Configuration::readLanguages(const pugi::xml_node& root) {
    languages_.clear();
    for (const pugi::xml_node& lang : xmldom::descendants(root, "lang")) {
        std::wstring code = xmldom::text(lang, "code");
        if (!code.empty()) {
            languages_.push_back(std::move(code));
        }
    }
    if (languages_.empty()) {
        languages_.assign(kLanguageCodes.begin(), kLanguageCodes.end());
    }
}

bool Configuration::getAddressFile(const std::wstring& version, std::wstring& path) const {
    auto it = addressFiles_.find(version);
    path = it != addressFiles_.end() ? it->second : std::wstring();
    return it != addressFiles_.end();
}

bool Configuration::hasModel(const std::wstring& model) const {
    return models_.contains(model);
}

bool Configuration::getModel(const std::wstring& model, ModelEntry& entry) const {
    auto it = models_.find(model);
    if (it == models_.end() || it->second.type.empty()) {
        return false;
    }
    entry = it->second;
    return true;
}

bool Configuration::getBlockFile(const std::wstring& model, const std::wstring& block,
                                 const std::wstring& version, std::wstring& path) const {
    path.clear();
    auto entry = models_.find(model);
    if (entry == models_.end()) {
        return false;
    }
    auto versions = entry->second.blocks.find(block);
    if (versions == entry->second.blocks.end()) {
        return false;
    }
    auto file = versions->second.find(version);
    if (file == versions->second.end()) {
        return false;
    }
    path = file->second;
    return true;
}

bool Configuration::findRange(int32_t kind, int source, int target, int32_t& address,
                              int32_t& length) const {
    address = 0;
    length = 0;
    if (kind < 0 || kind >= kBlockKindCount) {
        return false;
    }
    auto rules = rangeRules_.find(kind);
    if (rules == rangeRules_.end()) {
        return false;
    }
    auto holds = [](const std::set<uint8_t>& codes, int code) {
        return codes.empty() ||
               (code >= 0 && code <= 0xFF && codes.contains(static_cast<uint8_t>(code)));
    };
    for (const RangeRule& rule : rules->second) {
        if (holds(rule.sourceCodes, source) && holds(rule.targetCodes, target)) {
            address = rule.address;
            length = rule.length;
            return true;
        }
    }
    return false;
}

bool Configuration::isSupportedModel(const std::wstring& model) {
    return model == kSupportedModel;
}

bool Configuration::nextAddressVersion(std::wstring& version) {
    return advance(addressFiles_, addressCursor_.active, addressCursor_.last, version);
}

bool Configuration::nextModelName(std::wstring& model) {
    return advance(models_, modelCursor_.active, modelCursor_.last, model);
}

bool Configuration::nextBlockVersion(std::wstring& version, const std::wstring& model,
                                     const std::wstring& block) {
    if (!blockVersionCursor_.active) {
        blockCursorModel_ = model;
        blockCursorBlock_ = block;
    }
    auto entry = models_.find(blockCursorModel_);
    const WideMap* versions = nullptr;
    if (entry != models_.end()) {
        auto found = entry->second.blocks.find(blockCursorBlock_);
        versions = found != entry->second.blocks.end() ? &found->second : nullptr;
    }
    if (versions == nullptr) {
        blockVersionCursor_.active = false;
        version.clear();
        return false;
    }
    return advance(*versions, blockVersionCursor_.active, blockVersionCursor_.last, version);
}

bool Configuration::nextRangeKind(int32_t& kind) {
    return advance(rangeRules_, rangeKindCursor_.active, rangeKindCursor_.last, kind);
}

bool Configuration::nextLanguage(std::wstring& code) {
    if (!languagePassActive_) {
        languageCursor_ = 0;
    }
    if (languageCursor_ >= languages_.size()) {
        languagePassActive_ = false;
        code.clear();
        return false;
    }
    languagePassActive_ = true;
    code = languages_[languageCursor_++];
    return true;
}

}  // namespace plugshift
