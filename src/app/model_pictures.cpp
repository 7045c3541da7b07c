#include "app/model_pictures.h"

#include "app/app_resources.h"
#include "config/configuration.h"

namespace plugshift {

void ModelPictures::build(Configuration& configuration, const QColor& buttonFace) {
    pictures_.clear();
    const QPixmap picture = QPixmap::fromImage(
        recoloured(AppResources::bitmap(AppResources::kRadioBitmap), buttonFace));
    std::wstring model;
    while (configuration.nextModelName(model)) {
        ModelEntry entry;
        if (configuration.getModel(model, entry)) {
            pictures_[QString::fromStdWString(model)] = picture;
        }
    }
}

QPixmap ModelPictures::find(const QString& model) const {
    const auto it = pictures_.find(model);
    return it != pictures_.end() ? it->second : QPixmap();
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
