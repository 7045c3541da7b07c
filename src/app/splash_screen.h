#pragma once

#include <QDialog>
#include <QPixmap>
#include <QTimer>

namespace plugshift {

// The start-up picture: a borderless window exactly the picture's size, centred on the screen,
// that closes itself with result 1 once the display time has passed.
class SplashScreen : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDisplayMs = 1000;  // what start-up asks for

    explicit SplashScreen(int displayMs = kDisplayMs, QWidget* parent = nullptr);

    int displayMs() const { return displayMs_; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int displayMs_;
    QPixmap picture_;
    QTimer timer_;
};

}  // namespace plugshift
