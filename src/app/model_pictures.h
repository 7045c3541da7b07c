#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <map>

namespace plugshift {

// The pictures the main window shows beside a radio's values, made for the current system
// colours: a bitmap with its background colour replaced by the button face colour. Made again
// when the colours change.
class ModelPictures {
public:
    // Forgets every picture made for other colours.
    void setButtonFace(const QColor& buttonFace);
    // The picture of a bitmap resource; null when there is no such bitmap.
    QPixmap find(int bitmapId);

    // The bitmap with every pixel of the background colour replaced.
    static QImage recoloured(const QImage& bitmap, const QColor& buttonFace);

private:
    QColor buttonFace_;
    std::map<int, QPixmap> pictures_;
};

}  // namespace plugshift
