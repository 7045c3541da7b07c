// Writes the application icon at one size for the desktop's icon theme: the picture drawn for
// that size when there is one, else the largest one scaled down.
//   scale_icon SIZE OUTPUT.png DRAWN.png...

#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SIZE OUTPUT.png DRAWN.png...\n", argv[0]);
        return 2;
    }
    const int side = std::atoi(argv[1]);
    QImage largest;
    for (int i = 3; i < argc; ++i) {
        QImage drawn(QString::fromLocal8Bit(argv[i]));
        if (drawn.isNull() || drawn.width() != drawn.height()) {
            std::fprintf(stderr, "%s: not a square picture\n", argv[i]);
            return 1;
        }
        if (drawn.width() == side) {
            largest = drawn;
            break;
        }
        if (drawn.width() > largest.width()) {
            largest = drawn;
        }
    }
    if (side <= 0 || largest.width() < side) {
        std::fprintf(stderr, "no picture of %d pixels or more to make a %d-pixel icon from\n", side,
                     side);
        return 1;
    }
    const QImage icon = largest.width() == side ? largest
                                                : largest.scaled(side, side, Qt::IgnoreAspectRatio,
                                                                 Qt::SmoothTransformation);
    if (!icon.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
