#include "app/radio_display.h"

#include <optional>
#include <string>

#include "app/string_table.h"
#include "config/configuration.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

QString shown(const std::optional<std::wstring>& text) {
    return text && !text->empty() ? QString::fromStdWString(*text)
                                  : StringTable::text(str::kNotAvailable);
}

}  // namespace

RadioDisplay::Texts RadioDisplay::texts(const RadioInfo& radio,
                                        const Configuration& configuration) {
    Texts texts = unknown();
    ModelEntry entry;
    if (configuration.getModel(modelNumber(radio).toStdWString(), entry)) {
        texts[RadioType] = StringTable::format(str::kSeries, QString::fromStdWString(entry.type));
    }
    texts[RegionCode] = shown(RadioInfo::regionText(radio.regionCode()));
    texts[Model] = shown(RadioInfo::modelText(radio.model()));
    texts[SerialNumber] = shown(RadioInfo::serialText(radio.serialValue()));
    texts[FirmwareVersion] = shown(RadioInfo::versionText(radio.firmwareVersion()));
    texts[CodeplugVersion] = shown(RadioInfo::versionText(radio.codeplugVersion()));
    texts[KeypadVersion] = shown(RadioInfo::versionText(radio.keypadVersion()));
    texts[UserPrivateId] = shown(RadioInfo::userPrivateIdText(radio.userPrivateId()));
    return texts;
}

RadioDisplay::Texts RadioDisplay::unknown() {
    Texts texts;
    texts.fill(StringTable::text(str::kNotAvailable));
    return texts;
}

QString RadioDisplay::modelNumber(const RadioInfo& radio) {
    return QString::fromStdWString(RadioInfo::modelText(radio.model()).value_or(std::wstring()));
}

}  // namespace plugshift
