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
        DealerLogin login(L"4711", {});
        DealerLoginDialog dialog(login);
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
        DealerLogin login(L"4711", {});
        DealerLoginDialog dialog(login);
        QTest::keyClicks(dialog.edit(), typed);
        QCOMPARE(dialog.password(), entry);
    }

    void wrongEntryShowsTheRedLineUntilTheEntryChanges() {
        DealerLogin login(L"4711", {});
        DealerLoginDialog dialog(login);
        QCOMPARE(redPixelsOfHintLine(dialog), 0);
        login.submit(L"1");
        dialog.update();
        QCOMPARE(dialog.hintText(),
                 QStringLiteral("The password is not correct. Please check it!"));
        QCOMPARE(dialog.hintColour(), QColor(255, 0, 0));
        QVERIFY(redPixelsOfHintLine(dialog) > 20);

        QTest::keyClick(dialog.edit(), Qt::Key_7);
        QVERIFY(!dialog.wrongPassword());
        QCOMPARE(dialog.hintText(), QStringLiteral("Specify at most 15 numbers for password"));
        QCOMPARE(redPixelsOfHintLine(dialog), 0);
    }

    // One showing: the last entry back and selected, so typing replaces it; Login returns the
    // entry, Escape nothing. Asking again after a refusal is the login's.
    void askShowsTheLastEntrySelectedAndReturnsTheConfirmedOne() {
        DealerLogin login(L"4711", {});
        login.submit(L"123");
        ModalRunner::answerDialogs([&](QDialog& dialog) {
            auto* shown = qobject_cast<DealerLoginDialog*>(&dialog);
            QVERIFY(shown != nullptr);
            QCOMPARE(shown->password(), QStringLiteral("123"));
            QCOMPARE(shown->edit()->selectedText(), QStringLiteral("123"));
            QVERIFY(shown->wrongPassword());
            QTest::keyClicks(shown->edit(), QStringLiteral("4711"));
            QTest::keyClick(shown->edit(), Qt::Key_Return);
        });
        QCOMPARE(DealerLoginDialog::ask(login), std::optional<std::wstring>(L"4711"));

        ModalRunner::answerDialogs([](QDialog& dialog) {
            auto* shown = qobject_cast<DealerLoginDialog*>(&dialog);
            QVERIFY(shown != nullptr);
            QTest::keyClick(shown->edit(), Qt::Key_Escape);
        });
        QCOMPARE(DealerLoginDialog::ask(login), std::optional<std::wstring>());
    }
};

}  // namespace plugshift

QTEST_MAIN(plugshift::DealerLoginDialogTest)
#include "dealer_login_dialog_test.moc"
