#include "app/string_table.h"

#include <algorithm>
#include <array>

namespace plugshift {

namespace {

struct Entry {
    int id;
    const char* utf8;
};

// Sorted by id, so a lookup is a binary search.
constexpr std::array kEntries = {
    Entry{str::kOk, "&OK"},
    Entry{str::kCancel, "Cancel"},
    Entry{str::kYes, "&Yes"},
    Entry{str::kNo, "&No"},
    Entry{str::kPromptDealerLogin, "Dealer login"},
    Entry{str::kMenuDealerLogin, "&Dealer Login"},
    Entry{str::kRestartForLanguage, "You have to restart the tool for thsi change to take effect."},
    Entry{str::kPasswordHint, "Specify at most 15 numbers for password"},
    Entry{str::kPromptHelp, "For help, press F1"},
    Entry{str::kPromptHelpContents, "Display help"},
    Entry{str::kPromptAbout, "Display Program Information, version number and copyright"},
    Entry{str::kPromptExit, "Quit the application"},
    Entry{str::kMenuLanguage, "&Language"},
    Entry{str::kSeriesModel, "KMV410"},
    Entry{str::kAboutCaption, "About %s"},
    Entry{str::kVersion, "Version %s"},
    Entry{str::kCopyright, "Copyright \u00a9 2025 Kestrelon. All rights reserved."},
    Entry{str::kTrademark,
          "Kestrelon, the Kestrelon logo, KMV and Plugshift are trademarks of Kestrelon."},
    Entry{str::kToolName, "Plugshift"},
    Entry{str::kLegalWarning,
          "Warning: this program is protected by copyright law and international treaties. It "
          "is licensed to authorised Kestrelon dealers and service centres, for servicing "
          "Kestrelon radios only.\n\nReprogramming a radio for a region other than the one "
          "in which it is sold and licensed may breach radio regulations. Unauthorised "
          "reproduction or distribution of this program, or of any part of it, may result in "
          "severe civil and criminal penalties, and will be prosecuted to the maximum extent "
          "possible under the law."},
    Entry{str::kTimeLabelEmpty, "[ 00-00 00:00 ]"},
    Entry{str::kHelpUnavailable, "The help files are unavailable."},
    Entry{str::kLangDutch, "Nederlands(&N)"},
    Entry{str::kLangSpanishLatinAmerican, "Espa\u00f1ol Latino Americano(&A)"},
    Entry{str::kLangFrenchCanadian, "Fran\u00e7ais Canadien(&C)"},
    Entry{str::kLangPortugueseBrazil, "Portugu\u00eas (&Brasil)"},
    Entry{str::kPleaseWait, "Please wait..."},
    Entry{str::kRadioInformation, "Radio Information"},
    Entry{str::kLabelRadioType, "Radio Type"},
    Entry{str::kLabelRegionCode, "Region Code"},
    Entry{str::kLabelModel, "Model"},
    Entry{str::kLabelSerialNumber, "Serial Number"},
    Entry{str::kLabelFirmwareVersion, "Firmware Version"},
    Entry{str::kLabelCodeplugVersion, "Codeplug Version"},
    Entry{str::kButtonGetRadioInfo, "&Get Radio Information"},
    Entry{str::kButtonConvert, "&Convert"},
    Entry{str::kCheckRestore, "&Keep the radio's personality (user information and contacts)"},
    Entry{str::kButtonUpdateSerial, "&Update Serial Number"},
    Entry{str::kLogin, "Login"},
    Entry{str::kMenuFile, "&File"},
    Entry{str::kMenuExit, "E&xit"},
    Entry{str::kMenuSetting, "&Setting"},
    Entry{str::kMenuHelp, "&Help"},
    Entry{str::kMenuHelpContents, "Help &Contents"},
    Entry{str::kMenuAbout, "&About..."},
    Entry{str::kCableConnected, "USB Cable Connected"},
    Entry{str::kCableDisconnected, "USB Cable Disconnected"},
    Entry{str::kLabelKeypadVersion, "Keypad Version"},
    Entry{str::kOfferRestore,
          "The conversion failed. The radio's personality (user information and contacts) was "
          "saved before anything was erased.\n\nDo you want to convert the radio again now and "
          "write its personality back into it?"},
    Entry{str::kLabelUserPrivateId, "User Private ID:"},
    Entry{str::kLangEnglish, "&English"},
    Entry{str::kLangGerman, "Deutsch(&D)"},
    Entry{str::kLangFrench, "Fran\u00e7ais(&F)"},
    Entry{str::kLangItalian, "Italiano(&I)"},
    Entry{str::kLangPolish, "Polski(&L)"},
    Entry{str::kLangPortuguese, "Portuguese(&T)"},
    Entry{str::kLangRussian, "\u0420\u0443\u0441\u0441\u043a\u0438\u0439(&R)"},
    Entry{str::kLangSpanish, "Espa\u00f1ol(&S)"},
    Entry{str::kLangTurkish, "T\u00fcrk\u00e7e(&K)"},
};

static_assert(std::is_sorted(kEntries.begin(), kEntries.end(),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

const Entry* find(int id) {
    const auto* it = std::lower_bound(kEntries.begin(), kEntries.end(), id,
                                      [](const Entry& e, int wanted) { return e.id < wanted; });
    return it != kEntries.end() && it->id == id ? it : nullptr;
}

// Where the one placeholder of a text starts, or -1.
qsizetype placeholderAt(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        const QChar next = text.at(i + 1);
        if (text.at(i) == u'%' && (next == u's' || next == u'd' || next == u'1')) {
            return i;
        }
    }
    return -1;
}

}  // namespace

QString StringTable::text(int id) {
    if (const Entry* entry = find(id)) {
        return QString::fromUtf8(entry->utf8);
    }
    const wchar_t* shared = workflowText(id);
    return shared != nullptr ? QString::fromWCharArray(shared) : QString();
}

bool StringTable::contains(int id) {
    return find(id) != nullptr || workflowText(id) != nullptr;
}

QString StringTable::format(int id, const QString& argument) {
    QString result = text(id);
    const qsizetype at = placeholderAt(result);
    if (at >= 0) {
        result.replace(at, 2, argument);
    }
    return result;
}

QString StringTable::format(int id, int argument) {
    return format(id, QString::number(argument));
}

QString StringTable::title() {
    const QString title =
        text(str::kSeriesModel) + u' ' + text(str::kToolName) + u' ' + QString::fromLatin1(kBand);
    return title.left(kTitleMaxLength);
}

}  // namespace plugshift
