#include "desktop/radio_display.h"

#include <optional>

#include "config/configuration.h"
#include "desktop/string_table.h"
#include "tasks/radio_info.h"

namespace plugshift {

namespace {

std::wstring shown(const std::optional<std::wstring>& text) {
    return text && !text->empty() ? *text : StringTable::text(str::kNotAvailable);
}

}  // namespace

RadioDisplay::Texts RadioDisplay::texts(const RadioInfo& radio,
                                        const Configuration& configuration) {
    Texts texts = unknown();
    ModelEntry entry;
    if (configuration.getModel(radio.modelNumber(), entry)) {
        texts[MainWindowView::RadioType] = StringTable::format(str::kSeries, entry.type);
    }
    texts[MainWindowView::RegionCode] = shown(RadioInfo::regionText(radio.regionCode()));
    texts[MainWindowView::Model] = shown(RadioInfo::modelText(radio.model()));
    texts[MainWindowView::SerialNumber] = shown(RadioInfo::serialText(radio.serialValue()));
    texts[MainWindowView::FirmwareVersion] = shown(RadioInfo::versionText(radio.firmwareVersion()));
    texts[MainWindowView::CodeplugVersion] = shown(RadioInfo::versionText(radio.codeplugVersion()));
    texts[MainWindowView::KeypadVersion] = shown(RadioInfo::versionText(radio.keypadVersion()));
    texts[MainWindowView::UserPrivateId] =
        shown(RadioInfo::userPrivateIdText(radio.userPrivateId()));
    return texts;
}

std::optional<int> RadioDisplay::picture(const std::wstring& model,
                                         const Configuration& configuration) {
    ModelEntry entry;
    if (!model.empty() && !configuration.getModel(model, entry)) {
        return std::nullopt;
    }
    return kRadioBitmap;
}

RadioDisplay::Texts RadioDisplay::unknown() {
    Texts texts;
    texts.fill(StringTable::text(str::kNotAvailable));
    return texts;
}

}  // namespace plugshift
