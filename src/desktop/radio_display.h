#pragma once

#include <array>
#include <optional>
#include <string>

#include "desktop/main_window_view.h"

namespace plugshift {

class Configuration;
class RadioInfo;

// What the main window shows of a radio: each value in its text form, "N/A" for a value without
// text or with an empty one.
class RadioDisplay {
public:
    using Texts = std::array<std::wstring, MainWindowView::FieldCount>;
    // The radio drawn beside the values; every picture kind of the configuration uses it.
    static constexpr int kRadioBitmap = 215;

    // The radio's values; the radio type is "<series> Series" of the model's configured entry.
    static Texts texts(const RadioInfo& radio, const Configuration& configuration);
    // Every value "N/A": nothing has been read yet.
    static Texts unknown();
    // The bitmap to show for a model: the radio before anything is read (an empty model) and for
    // a configured model; nothing for a model the installation does not know, which leaves the
    // picture shown as it is.
    static std::optional<int> picture(const std::wstring& model,
                                      const Configuration& configuration);
};

}  // namespace plugshift
