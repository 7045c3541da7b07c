// Draws the application's pictures and icons and writes them as PNG files into the folder given
// on the command line. The files are committed; run scripts/draw-app-art.sh after a change here.

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

// Pixels of this colour in the radio picture take the system's button colour when shown.
const QColor kKeyBackground(239, 239, 239);
const QColor kBrandOrange(232, 118, 36);
const QColor kBrandNavy(14, 42, 66);
const QColor kBrandTeal(25, 98, 122);
const QColor kLcd(164, 214, 196);
const QColor kLcdInk(28, 60, 52);

// The handheld radio in a 100 x 200 design box: antenna, volume knob, body, side button, display,
// speaker and keypad. detailed = false leaves out what a small icon cannot show.
void drawRadio(QPainter& p, const QRectF& box, bool detailed) {
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 100.0, box.height() / 200.0);
    p.setPen(Qt::NoPen);

    // Antenna: a flexible stub with a rounded cap.
    QLinearGradient antenna(16, 0, 30, 0);
    antenna.setColorAt(0, QColor(58, 62, 66));
    antenna.setColorAt(0.5, QColor(36, 39, 42));
    antenna.setColorAt(1, QColor(20, 22, 24));
    p.setBrush(antenna);
    p.drawRoundedRect(QRectF(17, 0, 12, 60), 6, 6);
    p.setBrush(QColor(28, 30, 33));
    p.drawRoundedRect(QRectF(14, 44, 18, 14), 3, 3);

    // Volume knob and channel LED on the top.
    if (detailed) {
        QLinearGradient knob(58, 0, 76, 0);
        knob.setColorAt(0, QColor(70, 75, 80));
        knob.setColorAt(1, QColor(30, 33, 36));
        p.setBrush(knob);
        p.drawRoundedRect(QRectF(58, 32, 18, 22), 3, 3);
        p.setPen(QPen(QColor(95, 100, 106), 1.2));
        for (int x = 61; x <= 73; x += 3) {
            p.drawLine(QPointF(x, 34), QPointF(x, 52));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 48, 40));
        p.drawRoundedRect(QRectF(82, 44, 7, 7), 2, 2);
    }

    // Side push-to-talk button.
    p.setBrush(QColor(30, 33, 36));
    p.drawRoundedRect(QRectF(3, 82, 8, 40), 3, 3);

    // Body.
    QLinearGradient body(8, 0, 92, 0);
    body.setColorAt(0, QColor(72, 78, 85));
    body.setColorAt(0.18, QColor(52, 57, 62));
    body.setColorAt(0.8, QColor(38, 42, 46));
    body.setColorAt(1, QColor(60, 65, 71));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(8, 52, 84, 146), 13, 13);

    // Display with signal bars and a battery.
    QLinearGradient lcd(0, 64, 0, 98);
    lcd.setColorAt(0, kLcd.lighter(108));
    lcd.setColorAt(1, kLcd.darker(112));
    p.setBrush(QColor(24, 26, 28));
    p.drawRoundedRect(QRectF(16, 62, 68, 38), 5, 5);
    p.setBrush(lcd);
    p.drawRoundedRect(QRectF(19, 65, 62, 32), 3, 3);
    if (detailed) {
        p.setBrush(kLcdInk);
        for (int i = 0; i < 4; ++i) {
            p.drawRect(QRectF(24 + i * 5, 78 - i * 3, 3, 4 + i * 3));
        }
        p.drawRect(QRectF(62, 72, 13, 7));
        p.drawRect(QRectF(75, 74, 2, 3));
        p.setBrush(kLcd);
        p.drawRect(QRectF(63.2, 73.2, 3, 4.6));
        p.setBrush(kLcdInk);
        p.drawRect(QRectF(24, 86, 52, 3));
    }

    // Speaker grille.
    if (detailed) {
        p.setBrush(QColor(22, 24, 27));
        for (int i = 0; i < 5; ++i) {
            p.drawRoundedRect(QRectF(24, 108 + i * 6, 52, 3), 1.5, 1.5);
        }
    }

    // Keypad: three columns, four rows.
    const double keyTop = detailed ? 142 : 118;
    const double keyHeight = detailed ? 10 : 16;
    const double keyStep = detailed ? 13.5 : 20;
    const int rows = detailed ? 4 : 3;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRectF key(20 + column * 21, keyTop + row * keyStep, 18, keyHeight);
            QLinearGradient face(0, key.top(), 0, key.bottom());
            face.setColorAt(0, QColor(112, 120, 128));
            face.setColorAt(1, QColor(78, 85, 92));
            p.setBrush(face);
            p.drawRoundedRect(key, 3, 3);
        }
    }
    p.restore();
}

// The radio's outline in light grey with a dark display, for icons too small for the details.
void drawRadioSilhouette(QPainter& p, const QRectF& box) {
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 100.0, box.height() / 200.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(226, 234, 240));
    p.drawRoundedRect(QRectF(15, 0, 16, 64), 8, 8);
    p.drawRoundedRect(QRectF(8, 52, 84, 146), 16, 16);
    p.setBrush(kBrandNavy);
    p.drawRoundedRect(QRectF(20, 70, 60, 40), 6, 6);
    p.restore();
}

// The company mark: a kestrel in flight, white on an orange disc, in a 100 x 100 design box.
void drawKestrelMark(QPainter& p, const QRectF& box) {
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 100.0, box.height() / 100.0);
    p.setPen(Qt::NoPen);
    QRadialGradient disc(QPointF(40, 34), 70);
    disc.setColorAt(0, kBrandOrange.lighter(118));
    disc.setColorAt(1, kBrandOrange.darker(118));
    p.setBrush(disc);
    p.drawEllipse(QRectF(2, 2, 96, 96));

    // Long pointed wings arched at the shoulder, a narrow tail and a small head: a kestrel
    // gliding, seen from below.
    QPainterPath bird;
    bird.moveTo(46, 40);
    bird.cubicTo(36, 30, 18, 32, 4, 46);   // left wing, leading edge to the tip
    bird.cubicTo(20, 46, 32, 50, 44, 57);  // left wing, trailing edge
    bird.lineTo(42, 80);                   // tail
    bird.quadTo(50, 84, 58, 80);
    bird.lineTo(56, 57);
    bird.cubicTo(68, 50, 80, 46, 96, 46);  // right wing
    bird.cubicTo(82, 32, 64, 30, 54, 40);
    bird.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(bird);
    p.drawEllipse(QPointF(50, 36), 6, 7);
    p.restore();
}

// The application icon: the radio on a rounded badge with two waves from its antenna.
QImage applicationIcon(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 100.0, side / 100.0);
    QLinearGradient badge(0, 0, 0, 100);
    badge.setColorAt(0, kBrandTeal.lighter(115));
    badge.setColorAt(1, kBrandNavy);
    p.setPen(Qt::NoPen);
    p.setBrush(badge);
    p.drawRoundedRect(QRectF(2, 2, 96, 96), 18, 18);

    // Small sizes show a light silhouette and one thick wave, so the shape still reads.
    const bool tiny = side < 32;
    const QRectF radio(tiny ? 24 : 30, 16, tiny ? 44 : 40, 80);
    if (tiny) {
        drawRadioSilhouette(p, radio);
    } else {
        drawRadio(p, radio, side >= 96);
    }

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kBrandOrange, tiny ? 8 : 5, Qt::SolidLine, Qt::RoundCap));
    const QPointF antennaTip(radio.left() + radio.width() * 0.23, radio.top());
    const QPointF centre = antennaTip + QPointF(2, 10);
    const int waves = tiny ? 1 : 2;
    for (int i = 1; i <= waves; ++i) {
        const double r = tiny ? 14.0 : 9.0 * i + 1;
        p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), 15 * 16, 60 * 16);
    }
    return image;
}

QImage companyIcon(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawKestrelMark(p, QRectF(0, 0, side, side));
    return image;
}

// The radio shown beside the radio information: 24 bits, on the replaceable background.
QImage radioPicture() {
    QImage image(112, 224, QImage::Format_RGB32);
    image.fill(kKeyBackground);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawRadio(p, QRectF(6, 4, 100, 216), true);
    p.end();
    return image.convertToFormat(QImage::Format_RGB888);
}

void drawText(QPainter& p, const QRectF& area, const QString& text, int pixelSize, int weight,
              const QColor& colour, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    p.setFont(font);
    p.setPen(colour);
    p.drawText(area, align, text);
}

// The splash picture: 482 x 362, 24 bits.
QImage splashPicture() {
    QImage image(482, 362, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient sky(0, 0, 482, 362);
    sky.setColorAt(0, kBrandNavy);
    sky.setColorAt(1, kBrandTeal);
    p.fillRect(image.rect(), sky);

    // Waves spreading from the antenna.
    const QPointF tip(97, 70);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 4; ++i) {
        QColor wave = kBrandOrange;
        wave.setAlpha(220 - i * 40);
        p.setPen(QPen(wave, 4, Qt::SolidLine, Qt::RoundCap));
        const double r = 24.0 * i;
        p.drawArc(QRectF(tip.x() - r, tip.y() - r, 2 * r, 2 * r), 10 * 16, 60 * 16);
    }

    // The radio with a soft shadow.
    QRadialGradient shadow(QPointF(118, 332), 80);
    shadow.setColorAt(0, QColor(0, 0, 0, 110));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QPointF(118, 332), 80, 14);
    drawRadio(p, QRectF(60, 58, 130, 272), true);

    // Company mark and name, product name, band and region.
    drawKestrelMark(p, QRectF(232, 34, 34, 34));
    drawText(p, QRectF(274, 34, 190, 34), QStringLiteral("KESTRELON"), 19, QFont::Bold,
             QColor(240, 244, 248));
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    p.drawLine(QPointF(232, 84), QPointF(456, 84));

    drawText(p, QRectF(230, 104, 240, 56), QStringLiteral("KMV410"), 46, QFont::Bold, Qt::white);
    drawText(p, QRectF(232, 160, 240, 40), QStringLiteral("Plugshift"), 32, QFont::Normal,
             kBrandOrange.lighter(112));
    drawText(p, QRectF(233, 212, 240, 24), QStringLiteral("916-928MHz  \u00b7  PERU"), 17,
             QFont::DemiBold, QColor(214, 232, 240));
    drawText(p, QRectF(233, 240, 240, 40),
             QStringLiteral("Region conversion for\nKMV-series handheld radios"), 13, QFont::Normal,
             QColor(180, 205, 218), Qt::AlignLeft | Qt::AlignTop);

    drawText(p, QRectF(233, 312, 230, 20), QStringLiteral("Version R01.00"), 12, QFont::Normal,
             QColor(180, 205, 218));
    drawText(p, QRectF(233, 330, 230, 20),
             QStringLiteral("\u00a9 2025 Kestrelon. All rights reserved."), 11, QFont::Normal,
             QColor(150, 180, 196));
    p.end();
    return image.convertToFormat(QImage::Format_RGB888);
}

bool save(const QImage& image, const QDir& folder, const QString& name) {
    const QString path = folder.filePath(name);
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    bool ok = save(splashPicture(), folder, QStringLiteral("bitmap133.png")) &&
              save(radioPicture(), folder, QStringLiteral("bitmap215.png"));
    for (const int side : {16, 32, 48, 256}) {
        ok = ok && save(applicationIcon(side), folder, QStringLiteral("icon128_%1.png").arg(side));
    }
    for (const int side : {16, 32, 48}) {
        ok = ok && save(companyIcon(side), folder, QStringLiteral("icon147_%1.png").arg(side));
    }
    return ok ? 0 : 1;
}
