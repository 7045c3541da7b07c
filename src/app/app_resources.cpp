#include "app/app_resources.h"

#include <QFile>
#include <QString>

// The resources live in this static library: registering them by hand keeps the linker from
// dropping them, as nothing else refers to them.
static void registerAppResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(app);
        return true;
    }();
    (void)registered;
}

namespace plugshift {

namespace {

constexpr int kIconSides[] = {16, 32, 48, 256};

}  // namespace

QIcon AppResources::icon(int id) {
    registerAppResources();
    if (id != kApplicationIcon && id != kCompanyIcon) {
        return QIcon();
    }
    QIcon icon;
    for (const int side : kIconSides) {
        const QString path = QStringLiteral(":/app/icon%1_%2.png").arg(id).arg(side);
        if (QFile::exists(path)) {
            icon.addFile(path, QSize(side, side));
        }
    }
    return icon;
}

QImage AppResources::bitmap(int id) {
    registerAppResources();
    if (id != kSplashBitmap && id != kRadioBitmap) {
        return QImage();
    }
    return QImage(QStringLiteral(":/app/bitmap%1.png").arg(id));
}

}  // namespace plugshift
