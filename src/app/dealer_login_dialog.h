#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QLineEdit;
class QPushButton;

namespace plugshift {

// The dealer's password dialog: a hidden numeric entry of at most 15 digits and one line below
// it, the hint, or in red the notice that the last entry was wrong until the entry changes.
class DealerLoginDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxDigits = 15;
    static constexpr int kHintGap = 8;  // pixels between the edit's bottom and the line below
    static constexpr QRgb kWrongColour = 0xffff0000;

    using StoreAcceptedCode = std::function<void(const QString& code)>;

    // The dealer login: runs the dialog until the entry equals dealerCode exactly or the dialog is
    // closed; after a wrong entry the same dialog comes back with the red notice, with no limit
    // on attempts. On a match storeAccepted receives the code and the result is true. An empty
    // dealerCode means no dealer password is set up: nothing is shown and the result is false.
    static bool login(const QString& dealerCode, const StoreAcceptedCode& storeAccepted,
                      QWidget* parent = nullptr);

    explicit DealerLoginDialog(QWidget* parent = nullptr);

    // The entry, read after the dialog ended with Login.
    QString password() const;
    bool wrongPassword() const { return wrongPassword_; }
    void setWrongPassword(bool wrong);
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

    bool wrongPassword_ = false;
    QLineEdit* edit_ = nullptr;
    QPushButton* loginButton_ = nullptr;
};

}  // namespace plugshift
