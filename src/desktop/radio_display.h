#pragma once

#include <array>
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

    // The radio's values; the radio type is "<series> Series" of the model's configured entry.
    static Texts texts(const RadioInfo& radio, const Configuration& configuration);
    // Every value "N/A": nothing has been read yet.
    static Texts unknown();
};

}  // namespace plugshift
