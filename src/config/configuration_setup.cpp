// The setup file: second phase of the load and the operations that write setup.dat back.
#include <filesystem>
#include <new>
#include <system_error>

#include "config/config_scrambler.h"
#include "config/configuration.h"
#include "config/xml_dom.h"
#include "errors/error_category.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "errors/wide_text.h"
#include "formats/ansi_text.h"
#include "platform/safe_file_writer.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

// After "Please re-install the application": the setup file lives in the data folder, which
// reinstalling leaves alone; only a missing one is copied from the installation.
constexpr const wchar_t* kDamagedSetupFile =
    L"The damaged file is the setup file [%ls] of this computer's data folder.";
constexpr const wchar_t* kReinstallKeepsSetupFile =
    L"Reinstalling the application does not replace it: move it away and start again to get a "
    L"fresh copy from the installation.";

}  // namespace

void Configuration::noteSetupFileOfThisComputer(const std::wstring& path) {
    std::error_code ec;
    if (!std::filesystem::exists(pathFromUtf8(toUtf8(path)), ec)) {
        return;  // a missing one is the installation's to give, which a reinstall does
    }
    ErrorChain::add(kErrorIni, kDamagedSetupFile, path.c_str());
    ErrorChain::add(kErrorIni, kReinstallKeepsSetupFile);
    ErrorLog::write(kDamagedSetupFile, path.c_str());
    ErrorLog::write(kReinstallKeepsSetupFile);
}

bool Configuration::loadSetup(const std::wstring& path) {
    try {
        if (!readScrambledFile(path) || !parseHeldText()) {
            ErrorChain::add(kErrorIni, L"The setup file [%ls] is invalid.", path.c_str());
            return false;
        }
        pugi::xml_node root = xmldom::documentElement(*document_);
        std::wstring id = xmldom::text(root, "id");
        if (id.empty()) {
            ErrorChain::add(kErrorIni, L"The Region ID is empty.");
            return false;
        }
        std::wstring name = xmldom::text(root, "name");
        if (name.empty()) {
            ErrorChain::add(kErrorIni, L"The Region name is empty.");
            return false;
        }
        if (pugi::xml_node reg = xmldom::firstDescendant(root, "reg")) {
            installId_ = xmldom::text(reg, "id");
        }
        if (pugi::xml_node pwd = xmldom::firstDescendant(root, "pwd")) {
            dealerCode_ = xmldom::text(pwd, "cd1");
            acceptedCode_ = xmldom::text(pwd, "cd2");
        }
        // The language chosen in an earlier run; optional, so its absence fails nothing.
        if (pugi::xml_node langs = xmldom::firstDescendant(*document_, "langs")) {
            defaultLanguage_ = langs.attribute("def") ? xmldom::text(langs, "def") : L"";
        }
        if (id != regionId_) {
            ErrorChain::add(kErrorIni, L"The setup has a different region id with config.");
            return false;
        }
        if (name != regionName_) {
            ErrorChain::add(kErrorIni, L"The setup has a different region name with config.");
            return false;
        }
        return true;
    } catch (const XmlFault&) {
    } catch (const std::bad_alloc&) {
    }
    ErrorChain::add(kErrorIni, L"Failed to load setup file [%ls].", path.c_str());
    return false;
}

bool Configuration::dealerCodes(std::wstring& cd1, std::wstring& cd2) const {
    cd1.clear();
    cd2.clear();
    if (dealerCode_.empty()) {
        return false;
    }
    cd1 = dealerCode_;
    cd2 = acceptedCode_;
    return true;
}

bool Configuration::storeInstallId(const std::wstring& value) {
    return storeAttribute("reg", "id", value);
}

bool Configuration::storeLanguage(const std::wstring& code) {
    return storeAttribute("langs", "def", code);
}

bool Configuration::storeAcceptedCode(const std::wstring& value) {
    if (value.empty() || !fitsSetupFile("pwd", "cd2", value)) {
        return false;
    }
    acceptedCode_ = value;
    return storeAttribute("pwd", "cd2", value);
}

bool Configuration::fitsSetupFile(const char* element, const char* attribute,
                                  const std::wstring& value) const {
    std::string ignored;
    if (narrowAnsi(value, ignored)) {
        return true;
    }
    // The value itself stays out of the log: it may be a dealer password.
    ErrorLog::write(
        L"The setup file [%ls] was not changed: the new value of %s/%s has a character the "
        L"file's code page cannot hold.",
        documentPath_.c_str(), element, attribute);
    return false;
}

bool Configuration::storeAttribute(const char* element, const char* attribute,
                                   const std::wstring& value) {
    // Checked before the document changes: a value the file cannot hold would stay in the
    // document and make every later save fail.
    if (value.empty() || !document_ || !fitsSetupFile(element, attribute, value)) {
        return false;
    }
    pugi::xml_node target = xmldom::firstDescendant(*document_, element);
    if (!target) {
        pugi::xml_node root = document_->document_element();
        if (!root) {
            return false;
        }
        target = root.append_child(element);
    }
    xmldom::setText(target, attribute, value);
    return saveDocument();
}

bool Configuration::saveDocument() {
    if (documentPath_.empty() || !document_) {
        return false;
    }
    std::string bytes;
    if (!narrowAnsi(xmldom::serialise(*document_), bytes)) {
        return false;
    }
    scrambleConfigBytes(bytes);
    return writer_->replace(toUtf8(documentPath_), bytes);
}

}  // namespace plugshift
