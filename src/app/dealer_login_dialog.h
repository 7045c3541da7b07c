#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

#include "desktop/dealer_login.h"

class QLineEdit;
class QPushButton;

namespace plugshift {

// The dealer's password dialog: a hidden numeric entry of at most 15 digits, holding the login's
// last entry, selected, and one line below it, the hint, or in red the notice that the last
// entry was wrong until the entry changes.
class DealerLoginDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHintGap = 8;  // pixels between the edit's bottom and the line below
    static constexpr QRgb kWrongColour = 0xffff0000;

    // Shows the dialog once: the entry confirmed with Login, or nothing when it was closed.
    static std::optional<std::wstring> ask(DealerLogin& login, QWidget* parent = nullptr);

    explicit DealerLoginDialog(DealerLogin& login, QWidget* parent = nullptr);
    // The entry, read after the dialog ended with Login.
    QString password() const;
    bool wrongPassword() const { return login_.isWrongShown(); }
    // The text of the line below the edit as painted now.
    QString hintText() const;
    QColor hintColour() const;
    // Top left of that line, in client coordinates.
    QPoint hintOrigin() const;

    QLineEdit* edit() const { return edit_; }
    QPushButton* loginButton() const { return loginButton_; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void entryChanged();

    DealerLogin& login_;
    QLineEdit* edit_ = nullptr;
    QPushButton* loginButton_ = nullptr;
};

}  // namespace plugshift
