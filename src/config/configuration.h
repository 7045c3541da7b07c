#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

namespace plugshift {

class FlashCatalog;
class SafeFileWriter;

// Orders wide strings by their UTF-16 code units, so every map of the configuration enumerates
// in the same order whatever the width of wchar_t.
struct Utf16Less {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

using WideMap = std::map<std::wstring, std::wstring, Utf16Less>;

// Where a block to keep lies for one pair of source and target codes ("bl" below "bu").
struct RangeRule {
    int32_t address = 0;
    int32_t length = 0;
    std::set<uint8_t> sourceCodes;  // empty: any source code
    std::set<uint8_t> targetCodes;  // empty: any target code
};

struct ModelEntry {
    std::wstring type;
    std::wstring alias;
    int32_t picture = -1;  // 0, 1 or 2; -1 for any other "img"
    // Block name -> (block version -> full path); filled only for the convertible model.
    std::map<std::wstring, WideMap, Utf16Less> blocks;
};

// The tool's configuration: config.xml (read only) and setup.dat (the installation's own
// settings, written back by the store operations). One object serves the whole process.
// Failures are recorded in the ErrorChain; no exception leaves the class.
class Configuration {
public:
    static constexpr const wchar_t* kSupportedModel = L"RQX770HJNWE";
    // Paths of this length or more are refused, as are narrow forms longer than kMaxNarrowPath.
    static constexpr size_t kMaxPathLength = 512;
    static constexpr size_t kMaxNarrowPath = 511;
    // Far above any real configuration; keeps a wrong path from filling memory.
    static constexpr int64_t kMaxFileSize = 16 * 1024 * 1024;
    // The configured languages unless config.xml lists "lang" elements of its own; the menu
    // offers those whose help ships (HelpFiles).
    static constexpr std::array<const wchar_t*, 13> kLanguageCodes = {
        L"en_us", L"de",    L"fr", L"fr_ca", L"it",    L"nl", L"pl",
        L"pt",    L"pt_br", L"ru", L"sp",    L"sp_la", L"tu"};

    Configuration();
    ~Configuration();
    Configuration(const Configuration&) = delete;
    Configuration& operator=(const Configuration&) = delete;

    // The process-wide configuration.
    static Configuration& instance();
    // Back to the state at program load: no document, nothing read, every cursor at rest.
    void reset();

    bool createDocument();
    // Start-up's exit step.
    void releaseDocument();
    // Both phases: config.xml first, then setup.dat, which decides the result. A setup file
    // that is there but does not load gets two records on top of its own, also written to
    // err.log: which file it is, and that it is this computer's own, which reinstalling never
    // replaces.
    bool load(const std::wstring& configPath, const std::wstring& setupPath);
    bool readScrambledFile(const std::wstring& path);

    bool getAddressFile(const std::wstring& version, std::wstring& path) const;
    bool hasModel(const std::wstring& model) const;
    bool getModel(const std::wstring& model, ModelEntry& entry) const;
    bool getBlockFile(const std::wstring& model, const std::wstring& block,
                      const std::wstring& version, std::wstring& path) const;
    bool findRange(int32_t kind, int source, int target, int32_t& address, int32_t& length) const;
    static bool isSupportedModel(const std::wstring& model);

    // Enumerations: each keeps one cursor; a call gives the next key in ascending order and
    // true, or false when none is left, and the call after that starts again at the first key.
    bool nextAddressVersion(std::wstring& version);
    bool nextModelName(std::wstring& model);
    // The pass is bound to the model and block given at the call that starts it.
    bool nextBlockVersion(std::wstring& version, const std::wstring& model,
                          const std::wstring& block);
    bool nextRangeKind(int32_t& kind);
    bool nextLanguage(std::wstring& code);

    bool dealerCodes(std::wstring& cd1, std::wstring& cd2) const;
    // Each writes one attribute of setup.dat at once; an empty value changes nothing. An element
    // missing from the file is created below the root, so the value is never silently dropped.
    bool storeInstallId(const std::wstring& value);
    bool storeLanguage(const std::wstring& code);
    bool storeAcceptedCode(const std::wstring& value);
    // Writes the whole document to documentPath without ever leaving a half-written file.
    bool saveDocument();

    const std::wstring& regionId() const { return regionId_; }
    const std::wstring& regionName() const { return regionName_; }
    // The one region this tool converts radios for; the configuration must name it.
    static constexpr const wchar_t* kRegion = L"PERU";
    // True when the configuration names kRegion, in any case; otherwise `problem` says so, as the
    // log writes it.
    bool servesRegion(std::wstring& problem) const;
    const WideMap& addressFiles() const { return addressFiles_; }
    const std::map<int32_t, std::vector<RangeRule>>& rangeRules() const { return rangeRules_; }
    const std::map<std::wstring, ModelEntry, Utf16Less>& models() const { return models_; }
    const std::wstring& installId() const { return installId_; }
    const std::wstring& dealerCode() const { return dealerCode_; }
    const std::wstring& acceptedCode() const { return acceptedCode_; }
    const std::vector<std::wstring>& languages() const { return languages_; }
    const std::wstring& defaultLanguage() const { return defaultLanguage_; }
    const std::wstring& documentPath() const { return documentPath_; }
    // The unscrambled bytes of the file read last (NUL-terminated by std::string).
    const std::string& xmlText() const { return xmlText_; }

    // Test seam: the writer that replaces setup.dat; nullptr restores the standard one.
    void setFileWriter(SafeFileWriter* writer);

private:
    template <class Key>
    struct Cursor {
        bool active = false;
        Key last{};
    };

    bool loadConfiguration(const std::wstring& path);
    bool loadSetup(const std::wstring& path);
    static void noteSetupFileOfThisComputer(const std::wstring& path);
    bool parseHeldText();
    bool readRegion(const pugi::xml_node& root);
    bool readAddressFiles(const pugi::xml_node& root, const FlashCatalog& catalog);
    void readRangeRules(const pugi::xml_node& root);
    bool readModels(const pugi::xml_node& root, const FlashCatalog& catalog);
    bool readBlockFiles(const pugi::xml_node& model, const std::wstring& name,
                        const FlashCatalog& catalog, ModelEntry& entry);
    void readLanguages(const pugi::xml_node& root);
    bool storeAttribute(const char* element, const char* attribute, const std::wstring& value);
    // Whether the setup file's code page holds every character of the value; logs why not.
    bool fitsSetupFile(const char* element, const char* attribute, const std::wstring& value) const;

    std::wstring regionId_;
    std::wstring regionName_;
    WideMap addressFiles_;
    std::map<int32_t, std::vector<RangeRule>> rangeRules_;
    std::map<std::wstring, ModelEntry, Utf16Less> models_;
    std::wstring installId_;
    std::wstring dealerCode_;
    std::wstring acceptedCode_;
    std::vector<std::wstring> languages_;
    std::wstring defaultLanguage_;
    std::wstring documentPath_;
    std::string xmlText_;
    std::unique_ptr<pugi::xml_document> document_;
    SafeFileWriter* writer_;

    Cursor<std::wstring> addressCursor_;
    Cursor<std::wstring> modelCursor_;
    Cursor<std::wstring> blockVersionCursor_;
    std::wstring blockCursorModel_;
    std::wstring blockCursorBlock_;
    Cursor<int32_t> rangeKindCursor_;
    size_t languageCursor_ = 0;
    bool languagePassActive_ = false;
};

}  // namespace plugshift
