#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/dealer_login_dialog.h"
#include "app/modal_runner.h"
#include "app/qt_strings.h"

namespace plugshift {

namespace {

// Pixels of red ink in the line below the password edit.
int redPixelsOfHintLine(DealerLoginDialog& dialog) {
    const QImage image = dialog.grab().toImage();
    const QPoint origin = dialog.hintOrigin();
    int count = 0;
    for (int y = origin.y(); y < origin.y() + dialog.fontMetrics().height(); ++y) {
        for (int x = origin.x(); x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            count += qRed(pixel) > 200 && qGreen(pixel) < 90 && qBlue(pixel) < 90 ? 1 : 0;
        }
    }
    return count;
}

}  // namespace

class DealerLoginDialogTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ModalRunner::reset(); }

    void startsWithTheHintAndTheLoginCaption() {
        DealerLoginDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Login"));
        QCOMPARE(dialog.loginButton()->text(), QStringLiteral("Login"));
        QVERIFY(dialog.loginButton()->isDefault());
        QCOMPARE(dialog.edit()->echoMode(), QLineEdit::Password);
        QVERIFY(!dialog.wrongPassword());
        QCOMPARE(dialog.hintText(), QStringLiteral("Specify at most 15 numbers for password"));
        QCOMPARE(dialog.hintOrigin(), dialog.edit()->geometry().bottomLeft() +
                                          QPoint(0, 1 + DealerLoginDialog::kHintGap));
    }

    void editTakesAtMost15DigitsAndNothingElse_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("entry");
        QTest::newRow("letters and signs dropped")
            << QStringLiteral("12ab3-4 5.") << QStringLiteral("12345");
        QTest::newRow("cut at 15")
            << QStringLiteral("12345678901234567890") << QStringLiteral("123456789012345");
        QTest::newRow("only letters") << QStringLiteral("abc") << QString();
    }
    void editTakesAtMost15DigitsAndNothingElse() {
        QFETCH(QString, typed);
        QFETCH(QString, entry);
        DealerLoginDialog dialog;
        QTest::keyClicks(dialog.edit(), typed);
        QCOMPARE(dialog.password(), entry);
    }

    void wrongEntryShowsTheRedLineUntilTheEntryChanges() {
        DealerLoginDialog dialog;
        QCOMPARE(redPixelsOfHintLine(dialog), 0);
        dialog.setWrongPassword(true);
        QCOMPARE(dialog.hintText(),
                 QStringLiteral("The password is not correct. Please check it!"));
        QCOMPARE(dialog.hintColour(), QColor(255, 0, 0));
        QVERIFY(redPixelsOfHintLine(dialog) > 20);

        QTest::keyClick(dialog.edit(), Qt::Key_7);
        QVERIFY(!dialog.wrongPassword());
        QCOMPARE(dialog.hintText(), QStringLiteral("Specify at most 15 numbers for password"));
        QCOMPARE(redPixelsOfHintLine(dialog), 0);
    }

    // Each dialog shown gets the next entry typed and Login pressed; an empty entry in the script
    // closes the dialog instead.
    void loginRepeatsUntilTheExactCode_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("loggedIn");
        QTest::newRow("right at once") << QStringList{QStringLiteral("4711")} << true;
        QTest::newRow("extra trailing digit refused")
            << QStringList{QStringLiteral("47110"), QStringLiteral("4711")} << true;
        QTest::newRow("prefix refused, then closed")
            << QStringList{QStringLiteral("471"), QString()} << false;
        QTest::newRow("many wrong, then right")
            << QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                           QStringLiteral("4711")}
            << true;
        QTest::newRow("closed at once") << QStringList{QString()} << false;
    }
    void loginRepeatsUntilTheExactCode() {
        QFETCH(QStringList, entries);
        QFETCH(bool, loggedIn);
        int shown = 0;
        ModalRunner::answerDialogs([&](QDialog& dialog) {
            auto* login = qobject_cast<DealerLoginDialog*>(&dialog);
            QVERIFY(login != nullptr);
            // From the second showing on, the red line tells why the dialog came back.
            QCOMPARE(login->wrongPassword(), shown > 0);
            const QString entry = entries.value(shown++);
            if (entry.isEmpty()) {
                QTest::keyClick(login->edit(), Qt::Key_Escape);
                return;
            }
            // The previous entry is selected, so typing replaces it.
            QTest::keyClicks(login->edit(), entry);
            QCOMPARE(login->password(), entry);
            QTest::keyClick(login->edit(), Qt::Key_Return);
        });
        QStringList stored;
        const bool result = DealerLoginDialog::login(
            QStringLiteral("4711"), [&](const QString& code) { stored.append(code); });
        QCOMPARE(result, loggedIn);
        QCOMPARE(shown, entries.size());
        QCOMPARE(stored, loggedIn ? QStringList{QStringLiteral("4711")} : QStringList{});
    }

    void noDealerCodeShowsNothing() {
        bool shown = false;
        ModalRunner::answerDialogs([&](QDialog&) { shown = true; });
        bool stored = false;
        QVERIFY(!DealerLoginDialog::login(QString(), [&](const QString&) { stored = true; }));
        QVERIFY(!shown);
        QVERIFY(!stored);
    }
};

}  // namespace plugshift

QTEST_MAIN(plugshift::DealerLoginDialogTest)
#include "dealer_login_dialog_test.moc"
