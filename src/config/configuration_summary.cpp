#include "config/configuration_summary.h"

#include "config/configuration.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"

namespace plugshift {

namespace {

std::wstring codes(const std::set<uint8_t>& set) {
    if (set.empty()) {
        return L"any";
    }
    std::wstring text;
    for (uint8_t code : set) {
        text += (text.empty() ? L"" : L"^") + std::to_wstring(code);
    }
    return text;
}

std::wstring orNone(const std::wstring& text) {
    return text.empty() ? L"(none)" : text;
}

}  // namespace

std::wstring describeConfiguration(const Configuration& config) {
    std::wstring out = formatWide(L"Region: %ls (id %ls)\n", config.regionName().c_str(),
                                  config.regionId().c_str());
    out += L"Models:\n";
    for (const auto& [name, entry] : config.models()) {
        out += formatWide(L"  %ls  type %ls  alias %ls  picture %d%ls\n", name.c_str(),
                          entry.type.c_str(), entry.alias.c_str(), entry.picture,
                          Configuration::isSupportedModel(name) ? L"  (convertible)" : L"");
    }
    out += L"Address versions:\n";
    for (const auto& [version, path] : config.addressFiles()) {
        out += formatWide(L"  %ls  %ls\n", version.c_str(), path.c_str());
    }
    out += L"Block files:\n";
    for (const auto& [model, entry] : config.models()) {
        for (const auto& [block, versions] : entry.blocks) {
            for (const auto& [version, path] : versions) {
                out += formatWide(L"  %ls %ls %ls  %ls\n", model.c_str(), block.c_str(),
                                  version.c_str(), path.c_str());
            }
        }
    }
    out += L"Range rules:\n";
    for (const auto& [kind, rules] : config.rangeRules()) {
        for (const RangeRule& rule : rules) {
            out += formatWide(L"  %ls  from %ls  to %ls  address 0x%X  length 0x%X\n",
                              CodeplugImage::blockName(kind), codes(rule.sourceCodes).c_str(),
                              codes(rule.targetCodes).c_str(), static_cast<unsigned>(rule.address),
                              static_cast<unsigned>(rule.length));
        }
    }
    std::wstring languages;
    for (const std::wstring& code : config.languages()) {
        languages += (languages.empty() ? L"" : L" ") + code;
    }
    out += formatWide(L"Languages: %ls (current: %ls)\n", orNone(languages).c_str(),
                      orNone(config.defaultLanguage()).c_str());
    out += formatWide(L"Installation id: %ls\n", orNone(config.installId()).c_str());
    out += formatWide(L"Dealer password: %ls\n", config.dealerCode().empty() ? L"not set" : L"set");
    return out;
}

}  // namespace plugshift
