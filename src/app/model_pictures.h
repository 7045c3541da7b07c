#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <map>

namespace plugshift {

class Configuration;

// The picture of each configured model, made for the current system colours: the radio bitmap
// with its background colour replaced by the button face colour. Rebuilt when the colours change.
class ModelPictures {
public:
    // Every model of the configuration, by model number; kinds 1, 2 and any other share bitmap 215.
    void build(Configuration& configuration, const QColor& buttonFace);

    // Null when the model has no picture.
    QPixmap find(const QString& model) const;
    size_t size() const { return pictures_.size(); }

    // The bitmap with every pixel of the background colour replaced.
    static QImage recoloured(const QImage& bitmap, const QColor& buttonFace);

private:
    std::map<QString, QPixmap> pictures_;
};

}  // namespace plugshift
