#include "desktop/string_table.h"

#include "conversion/convert_decisions.h"

#include <algorithm>
#include <array>

namespace plugshift {

namespace {

struct Entry {
    int id;
    const wchar_t* text;
};

// Sorted by id, so a lookup is a binary search.
constexpr std::array kEntries = {
    Entry{str::kOk, L"&OK"},
    Entry{str::kCancel, L"Cancel"},
    Entry{str::kYes, L"&Yes"},
    Entry{str::kNo, L"&No"},
    Entry{str::kPromptDealerLogin, L"Dealer login"},
    Entry{str::kMenuDealerLogin, L"&Dealer Login"},
    Entry{str::kRestartForLanguage,
          L"You have to restart the tool for thsi change to take effect."},
    Entry{str::kPasswordHint, L"Specify at most 15 numbers for password"},
    Entry{str::kPromptHelp, L"For help, press F1"},
    Entry{str::kPromptHelpContents, L"Display help"},
    Entry{str::kPromptAbout, L"Display Program Information, version number and copyright"},
    Entry{str::kPromptExit, L"Quit the application"},
    Entry{str::kMenuLanguage, L"&Language"},
    Entry{str::kSeriesModel, L"KMV410"},
    Entry{str::kAboutCaption, L"About %s"},
    Entry{str::kVersion, L"Version %s"},
    Entry{str::kCopyright, L"Copyright \u00a9 2025 Kestrelon. All rights reserved."},
    Entry{str::kTrademark,
          L"Kestrelon, the Kestrelon logo, KMV and Plugshift are trademarks of Kestrelon."},
    Entry{str::kToolName, L"Plugshift"},
    Entry{str::kLegalWarning,
          L"Warning: this program is protected by copyright law and international treaties. It "
          L"is licensed to authorised Kestrelon dealers and service centres, for servicing "
          L"Kestrelon radios only.\n\nReprogramming a radio for a region other than the one "
          L"in which it is sold and licensed may breach radio regulations. Unauthorised "
          L"reproduction or distribution of this program, or of any part of it, may result in "
          L"severe civil and criminal penalties, and will be prosecuted to the maximum extent "
          L"possible under the law."},
    Entry{str::kTimeLabelEmpty, L"[ 00-00 00:00 ]"},
    Entry{str::kHelpUnavailable, L"The help files are unavailable."},
    Entry{str::kLangDutch, L"Nederlands(&N)"},
    Entry{str::kLangSpanishLatinAmerican, L"Espa\u00f1ol Latino Americano(&A)"},
    Entry{str::kLangFrenchCanadian, L"Fran\u00e7ais Canadien(&C)"},
    Entry{str::kLangPortugueseBrazil, L"Portugu\u00eas (&Brasil)"},
    Entry{str::kPleaseWait, L"Please wait..."},
    Entry{str::kRadioInformation, L"Radio Information"},
    Entry{str::kLabelRadioType, L"Radio Type"},
    Entry{str::kLabelRegionCode, L"Region Code"},
    Entry{str::kLabelModel, L"Model"},
    Entry{str::kLabelSerialNumber, L"Serial Number"},
    Entry{str::kLabelFirmwareVersion, L"Firmware Version"},
    Entry{str::kLabelCodeplugVersion, L"Codeplug Version"},
    Entry{str::kButtonGetRadioInfo, L"&Get Radio Information"},
    Entry{str::kButtonConvert, L"&Convert"},
    Entry{str::kCheckKeepPersonality,
          L"&Keep the radio's personality (user information and contacts)"},
    Entry{str::kButtonUpdateSerial, L"&Update Serial Number"},
    Entry{str::kLogin, L"Login"},
    Entry{str::kMenuFile, L"&File"},
    Entry{str::kMenuExit, L"E&xit"},
    Entry{str::kMenuSetting, L"&Setting"},
    Entry{str::kMenuHelp, L"&Help"},
    Entry{str::kMenuHelpContents, L"Help &Contents"},
    Entry{str::kMenuAbout, L"&About..."},
    Entry{str::kCableConnected, L"USB Cable Connected"},
    Entry{str::kCableDisconnected, L"USB Cable Disconnected"},
    Entry{str::kLabelKeypadVersion, L"Keypad Version"},
    Entry{str::kOfferRestore,
          L"The conversion failed. The radio's personality (user information and contacts) was "
          L"saved before anything was erased.\n\nDo you want to convert the radio again now and "
          L"write its personality back into it?"},
    Entry{str::kReconnectForRecovery,
          L"The USB cable is disconnected. Please reconnect the radio before converting it "
          L"again."},
    Entry{str::kAnotherRadioConnected,
          L"Another radio is connected: its serial number is %s, not the one shown, so nothing "
          L"was written into it.\nIts identity is shown now. Type the new serial number for this "
          L"radio and press Update Serial Number again."},
    Entry{str::kLabelUserPrivateId, L"User Private ID:"},
    Entry{str::kLangEnglish, L"&English"},
    Entry{str::kLangGerman, L"Deutsch(&D)"},
    Entry{str::kLangFrench, L"Fran\u00e7ais(&F)"},
    Entry{str::kLangItalian, L"Italiano(&I)"},
    Entry{str::kLangPolish, L"Polski(&L)"},
    Entry{str::kLangPortuguese, L"Portuguese(&T)"},
    Entry{str::kLangRussian, L"\u0420\u0443\u0441\u0441\u043a\u0438\u0439(&R)"},
    Entry{str::kLangSpanish, L"Espa\u00f1ol(&S)"},
    Entry{str::kLangTurkish, L"T\u00fcrk\u00e7e(&K)"},
};

static_assert(std::is_sorted(kEntries.begin(), kEntries.end(),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

const Entry* find(int id) {
    const auto* it = std::lower_bound(kEntries.begin(), kEntries.end(), id,
                                      [](const Entry& e, int wanted) { return e.id < wanted; });
    return it != kEntries.end() && it->id == id ? it : nullptr;
}

}  // namespace

std::wstring StringTable::text(int id) {
    if (const Entry* entry = find(id)) {
        return entry->text;
    }
    const wchar_t* shared = workflowText(id);
    return shared != nullptr ? shared : std::wstring();
}

bool StringTable::contains(int id) {
    return find(id) != nullptr || workflowText(id) != nullptr;
}

std::wstring StringTable::format(int id, const std::wstring& argument) {
    return withArgument(text(id), argument);
}

std::wstring StringTable::format(int id, int argument) {
    return format(id, std::to_wstring(argument));
}

std::wstring StringTable::band() {
    return kBandLabel;
}

std::wstring StringTable::title() {
    const std::wstring title =
        text(str::kSeriesModel) + L' ' + text(str::kToolName) + L' ' + band();
    return title.substr(0, kTitleMaxLength);
}

}  // namespace plugshift
