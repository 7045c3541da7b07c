#include "app/splash_screen.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "app/app_resources.h"

namespace plugshift {

SplashScreen::SplashScreen(int displayMs, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint),
      displayMs_(displayMs),
      picture_(QPixmap::fromImage(AppResources::bitmap(AppResources::kSplashBitmap))) {
    setFixedSize(picture_.size());
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { done(1); });
}

void SplashScreen::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
    timer_.start(displayMs_);
}

void SplashScreen::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter(this).drawPixmap(0, 0, picture_);
}

}  // namespace plugshift
