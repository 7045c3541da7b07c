#pragma once

#include <QFont>
#include <QRect>

namespace plugshift {

// Dialog layouts are given in dialog units, which scale with the dialog's font: a horizontal unit
// is a quarter of the font's average character width, a vertical one an eighth of its height.
class LayoutUnits {
public:
    explicit LayoutUnits(const QFont& font);

    int x(int units) const;
    int y(int units) const;
    QRect rect(int x, int y, int width, int height) const;
    QSize size(int width, int height) const;

private:
    int baseX_;  // average width of the letters a-z and A-Z, in pixels
    int baseY_;  // line height, in pixels
};

}  // namespace plugshift
