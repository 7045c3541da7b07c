#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace plugshift {

// The About box: program name and version, the copyright and trademark lines and the legal
// warning, with the application icon and the company mark.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    QString productName() const;
    QString version() const;
    QString copyrightText() const;
    QString trademarkText() const;
    QString warningText() const;
    QPushButton* okButton() const { return okButton_; }

private:
    QLabel* productName_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* copyright_ = nullptr;
    QLabel* trademark_ = nullptr;
    QPlainTextEdit* warning_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

}  // namespace plugshift
