#include "app/layout_units.h"

#include <QFontMetrics>

namespace plugshift {

namespace {

constexpr int kLettersInAlphabets = 52;
constexpr int kHorizontalUnitsPerCharacter = 4;
constexpr int kVerticalUnitsPerLine = 8;

}  // namespace

LayoutUnits::LayoutUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabets = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Rounded to the nearest pixel.
    baseX_ = (alphabets + kLettersInAlphabets / 2) / kLettersInAlphabets;
    baseY_ = metrics.height();
}

int LayoutUnits::x(int units) const {
    return units * baseX_ / kHorizontalUnitsPerCharacter;
}

int LayoutUnits::y(int units) const {
    return units * baseY_ / kVerticalUnitsPerLine;
}

QRect LayoutUnits::rect(int x, int y, int width, int height) const {
    return QRect(this->x(x), this->y(y), this->x(width), this->y(height));
}

QSize LayoutUnits::size(int width, int height) const {
    return QSize(x(width), y(height));
}

}  // namespace plugshift
