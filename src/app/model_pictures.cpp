#include "app/model_pictures.h"

#include "app/app_resources.h"

namespace plugshift {

void ModelPictures::setButtonFace(const QColor& buttonFace) {
    buttonFace_ = buttonFace;
    pictures_.clear();
}

QPixmap ModelPictures::find(int bitmapId) {
    const auto made = pictures_.find(bitmapId);
    if (made != pictures_.end()) {
        return made->second;
    }
    const QImage bitmap = AppResources::bitmap(bitmapId);
    if (bitmap.isNull()) {
        return QPixmap();
    }
    const QPixmap picture = QPixmap::fromImage(recoloured(bitmap, buttonFace_));
    pictures_[bitmapId] = picture;
    return picture;
}

QImage ModelPictures::recoloured(const QImage& bitmap, const QColor& buttonFace) {
    QImage image = bitmap.convertToFormat(QImage::Format_RGB32);
    const QRgb face = buttonFace.rgb();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == AppResources::kRadioBackground) {
                line[x] = face;
            }
        }
    }
    return image;
}

}  // namespace plugshift
