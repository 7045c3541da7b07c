#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>

#include "desktop/message_box_style.h"

class QPushButton;

namespace plugshift {

// The program's own message box; every message shown to the user goes through showMessage.
// The style (a MessageBoxStyle) chooses the buttons and the icon; the buttons return the ids of
// their string-table texts.
class MessageDialog : public QDialog {
    Q_OBJECT
public:
    // Geometry in pixels of the client area.
    static constexpr int kMargin = 20;      // icon and text from the top, buttons from the right
    static constexpr int kTextGap = 30;     // between the icon's left edge plus width and text
    static constexpr int kWrapWidth = 400;  // longer lines wrap
    static constexpr int kButtonBand = 50;  // bottom strip that holds the buttons
    static constexpr int kButtonGap = 10;   // between two buttons
    static constexpr int kSystemIconSize = 32;
    static constexpr int kFontPointSize = 10;
    static constexpr QRgb kBandColour = 0xfff0f0f0;  // RGB(240, 240, 240)

    // Shows the message and returns the id of the button pressed. owner defaults to the active
    // window; the box is centred on it and every other window waits while the box is up. While
    // the box waits the pointer is the normal one, whatever busy cursor the caller has set.
    static int showMessage(const QString& text, unsigned style, QWidget* owner = nullptr);
    static int showMessage(int stringId, unsigned style, QWidget* owner = nullptr);

    // The caption of every box: the application's title, set once at start-up; without one the
    // executable's full path.
    static void setApplicationName(const QString& name);
    static QString caption();

    MessageDialog(const QString& text, unsigned boxStyle, QWidget* owner = nullptr);

    MessageIcon icon() const { return icon_; }
    QString text() const { return text_; }
    unsigned messageStyle() const { return style_; }
    // Where the text is drawn, in client coordinates.
    QRect textRect() const { return textRect_; }
    // Whether the text fits on one line and is centred vertically beside the icon.
    bool isSingleLine() const { return singleLine_; }
    QPushButton* firstButton() const { return first_; }
    QPushButton* secondButton() const { return second_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // Escape and the close box answer as the style says; where it says nothing they do nothing.
    void reject() override;

private:
    bool hasTwoButtons() const;
    void layOut();

    QString text_;
    unsigned style_ = MessageBoxStyle::kIconWarning;
    MessageIcon icon_ = MessageIcon::None;
    QPixmap iconPixmap_;
    QRect textRect_;
    bool singleLine_ = true;
    QPushButton* first_ = nullptr;
    QPushButton* second_ = nullptr;
};

}  // namespace plugshift
