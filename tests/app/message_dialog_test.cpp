#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QTest>

#include "app/message_dialog.h"
#include "app/modal_runner.h"
#include "app/qt_strings.h"

namespace plugshift {

namespace {

// Shows a box through the application's path and lets the answerer act on it as a person would.
int answerBox(const QString& text, unsigned style, const std::function<void(MessageDialog&)>& act) {
    ModalRunner::answerDialogs([&](QDialog& dialog) {
        auto* box = qobject_cast<MessageDialog*>(&dialog);
        QVERIFY(box != nullptr);
        QVERIFY(box->isVisible());
        act(*box);
    });
    return MessageDialog::showMessage(text, style);
}

// Rows of the picture that hold text ink inside area: pixels much darker than the background.
QList<int> inkRows(const QImage& image, const QRect& area) {
    QList<int> rows;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                rows.append(y);
                break;
            }
        }
    }
    return rows;
}

}  // namespace

class MessageDialogTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        ModalRunner::reset();
        MessageDialog::setApplicationName(QString());
    }

    void iconsAndButtonsFollowTheStyle_data() {
        QTest::addColumn<unsigned>("style");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("firstText");
        QTest::addColumn<int>("firstId");
        QTest::addColumn<QString>("secondText");  // empty: hidden
        QTest::addColumn<int>("secondId");
        using I = MessageIcon;
        const QString ok = QStringLiteral("&OK");
        QTest::newRow("0x00 OK, no icon") << 0x00u << int(I::None) << ok << 1 << QString() << 0;
        QTest::newRow("0x01 OK Cancel")
            << 0x01u << int(I::None) << ok << 1 << QStringLiteral("Cancel") << 2;
        QTest::newRow("0x24 Yes No question") << 0x24u << int(I::Question) << QStringLiteral("&Yes")
                                              << 6 << QStringLiteral("&No") << 7;
        QTest::newRow("0x10 error") << 0x10u << int(I::Error) << ok << 1 << QString() << 0;
        QTest::newRow("0x20 question") << 0x20u << int(I::Question) << ok << 1 << QString() << 0;
        QTest::newRow("0x30 warning beats error")
            << 0x30u << int(I::Warning) << ok << 1 << QString() << 0;
        QTest::newRow("0x40 information")
            << 0x40u << int(I::Information) << ok << 1 << QString() << 0;
        QTest::newRow("0x50 error beats information")
            << 0x50u << int(I::Error) << ok << 1 << QString() << 0;
        QTest::newRow("0x60 information beats question")
            << 0x60u << int(I::Information) << ok << 1 << QString() << 0;
        QTest::newRow("0x41 OK Cancel information")
            << 0x41u << int(I::Information) << ok << 1 << QStringLiteral("Cancel") << 2;
    }
    void iconsAndButtonsFollowTheStyle() {
        QFETCH(unsigned, style);
        QFETCH(int, icon);
        QFETCH(QString, firstText);
        QFETCH(int, firstId);
        QFETCH(QString, secondText);
        QFETCH(int, secondId);

        const int pressedFirst = answerBox(QStringLiteral("Text"), style, [&](MessageDialog& box) {
            QCOMPARE(int(box.icon()), icon);
            QCOMPARE(box.firstButton()->text(), firstText);
            QVERIFY(box.firstButton()->isDefault());
            QCOMPARE(box.secondButton()->isVisible(), !secondText.isEmpty());
            if (!secondText.isEmpty()) {
                QCOMPARE(box.secondButton()->text(), secondText);
            }
            QTest::mouseClick(box.firstButton(), Qt::LeftButton);
        });
        QCOMPARE(pressedFirst, firstId);

        if (!secondText.isEmpty()) {
            const int pressedSecond = answerBox(
                QStringLiteral("Text"), style,
                [](MessageDialog& box) { QTest::mouseClick(box.secondButton(), Qt::LeftButton); });
            QCOMPARE(pressedSecond, secondId);
        }
    }

    // Enter and Space press the button that has the focus; Escape answers like the system box.
    void keysEndTheBox_data() {
        QTest::addColumn<unsigned>("style");
        QTest::addColumn<bool>("focusSecond");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");  // 0: the box stayed up
        QTest::newRow("Yes/No Enter on Yes") << 0x24u << false << int(Qt::Key_Return) << 6;
        QTest::newRow("Yes/No Space on No") << 0x24u << true << int(Qt::Key_Space) << 7;
        QTest::newRow("Yes/No Enter on No") << 0x24u << true << int(Qt::Key_Return) << 7;
        QTest::newRow("Yes/No Escape ignored") << 0x24u << false << int(Qt::Key_Escape) << 0;
        QTest::newRow("OK/Cancel Escape cancels") << 0x01u << false << int(Qt::Key_Escape) << 2;
        QTest::newRow("OK Escape is OK") << 0x00u << false << int(Qt::Key_Escape) << 1;
    }
    void keysEndTheBox() {
        QFETCH(unsigned, style);
        QFETCH(bool, focusSecond);
        QFETCH(int, key);
        QFETCH(int, result);
        const int pressed = answerBox(QStringLiteral("Text"), style, [&](MessageDialog& box) {
            QPushButton* target = focusSecond ? box.secondButton() : box.firstButton();
            target->setFocus();
            QTest::keyClick(target, Qt::Key(key));
        });
        QCOMPARE(pressed, result);
    }

    // Yes and No are the only answers: a question has no close box (and none in its system
    // menu); the other boxes keep theirs, and close like Cancel or OK.
    void onlyAQuestionHasNoCloseBox_data() {
        QTest::addColumn<unsigned>("style");
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<int>("closedWith");  // 0: the box stayed up
        QTest::newRow("Yes/No") << (MessageBoxStyle::kYesNo | MessageBoxStyle::kIconQuestion)
                                << false << 0;
        QTest::newRow("OK/Cancel")
            << MessageBoxStyle::kOkCancel << true << MessageBoxStyle::kIdCancel;
        QTest::newRow("OK") << (MessageBoxStyle::kOk | MessageBoxStyle::kIconError) << true
                            << MessageBoxStyle::kIdOk;
    }
    void onlyAQuestionHasNoCloseBox() {
        QFETCH(unsigned, style);
        QFETCH(bool, closeBox);
        QFETCH(int, closedWith);
        const int pressed = answerBox(QStringLiteral("Text"), style, [&](MessageDialog& box) {
            const Qt::WindowFlags flags = box.windowFlags();
            QCOMPARE(bool(flags & Qt::WindowCloseButtonHint), closeBox);
            QCOMPARE(bool(flags & Qt::WindowSystemMenuHint), closeBox);
            QVERIFY(flags & Qt::WindowTitleHint);
            box.close();  // what the window manager asks for when the close box is pressed
        });
        QCOMPARE(pressed, closedWith);
    }

    // The box waits with the normal pointer; a caller's busy cursor is back afterwards.
    void waitsWithTheNormalPointer() {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QApplication::setOverrideCursor(Qt::BusyCursor);
        const QCursor* whileUp = reinterpret_cast<const QCursor*>(1);
        answerBox(QStringLiteral("Text"), MessageBoxStyle::kOk, [&](MessageDialog& box) {
            whileUp = QApplication::overrideCursor();
            box.firstButton()->click();
        });
        QCOMPARE(whileUp, nullptr);
        QVERIFY(QApplication::overrideCursor() != nullptr);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        QApplication::restoreOverrideCursor();
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QApplication::restoreOverrideCursor();
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // Icon at 20,20; text 30 pixels right of the icon; 50-pixel band; buttons 20 pixels from the
    // right, 10 apart, centred in the band.
    void layOutIconTextAndButtons() {
        MessageDialog box(QtStrings::text(str::kConvertFailed),
                          MessageBoxStyle::kYesNo | MessageBoxStyle::kIconError);
        const QRect text = box.textRect();
        QCOMPARE(text.topLeft(), QPoint(MessageDialog::kSystemIconSize + 30, 20));
        QCOMPARE(text.height(), MessageDialog::kSystemIconSize);  // one line is lower than the icon
        QCOMPARE(box.width(), text.right() + 1 + 20);
        QCOMPARE(box.height(), text.height() + 90);

        const QRect first = box.firstButton()->geometry();
        const QRect second = box.secondButton()->geometry();
        QCOMPARE(second.right() + 1, box.width() - 20);
        QCOMPARE(first.right() + 1, second.left() - 10);
        const int bandTop = box.height() - 50;
        QCOMPARE(second.top() - bandTop, box.height() - (second.bottom() + 1));
        QVERIFY(qAbs((first.top() - bandTop) - (box.height() - (first.bottom() + 1))) <= 1);
    }

    // A short text widens to the buttons: 20-pixel margins on both sides of them.
    void shortTextWidensToTheButtons() {
        MessageDialog box(QStringLiteral("OK"), MessageBoxStyle::kYesNo);
        const QRect first = box.firstButton()->geometry();
        QCOMPARE(first.left(), 20);
        QCOMPARE(box.textRect().left(), 30);  // no icon

        MessageDialog single(QStringLiteral("OK"), MessageBoxStyle::kOk);
        QCOMPARE(single.firstButton()->geometry().left(), 20);
        QCOMPARE(single.width(), single.firstButton()->width() + 40);
    }

    void longTextWrapsAt400Pixels() {
        MessageDialog box(QtStrings::text(str::kFileMissing), MessageBoxStyle::kIconError);
        QVERIFY(!box.isSingleLine());
        QVERIFY(box.textRect().width() <= MessageDialog::kWrapWidth);
        QVERIFY(box.textRect().width() > MessageDialog::kWrapWidth * 3 / 4);
        QVERIFY(box.textRect().height() > 3 * box.fontMetrics().height());
    }

    // A one-line text is centred beside the icon; a longer one starts at the top of its area.
    void drawsTextWhereItBelongs() {
        MessageDialog oneLine(QStringLiteral("Convert failed."), MessageBoxStyle::kIconError);
        QVERIFY(oneLine.isSingleLine());
        const QImage one = oneLine.grab().toImage();
        const QList<int> oneRows = inkRows(one, oneLine.textRect());
        QVERIFY(!oneRows.isEmpty());
        const double inkCentre = (oneRows.first() + oneRows.last()) / 2.0;
        QVERIFY2(qAbs(inkCentre - oneLine.textRect().center().y()) <= 3,
                 qPrintable(QStringLiteral("ink centre %1").arg(inkCentre)));

        MessageDialog threeLines(QStringLiteral("one\ntwo\nthree"), MessageBoxStyle::kIconError);
        QVERIFY(!threeLines.isSingleLine());
        const QImage three = threeLines.grab().toImage();
        const QList<int> threeRows = inkRows(three, threeLines.textRect());
        QVERIFY(!threeRows.isEmpty());
        QVERIFY(threeRows.first() - threeLines.textRect().top() <= 5);
    }

    void paintsWindowColourAndGreyBand() {
        MessageDialog box(QStringLiteral("Text"), MessageBoxStyle::kOkCancel);
        const QImage image = box.grab().toImage();
        QCOMPARE(QColor(image.pixel(2, box.height() - 2)), QColor(240, 240, 240));
        QCOMPARE(QColor(image.pixel(2, box.height() - 50)), QColor(240, 240, 240));
        QCOMPARE(QColor(image.pixel(2, box.height() - 51)), box.palette().color(QPalette::Base));
        QCOMPARE(QColor(image.pixel(2, 2)), box.palette().color(QPalette::Base));
    }

    void captionIsTheApplicationNameOrTheProgramPath() {
        MessageDialog unnamed(QStringLiteral("Text"), MessageBoxStyle::kOk);
        QCOMPARE(unnamed.windowTitle(), QCoreApplication::applicationFilePath());
        MessageDialog::setApplicationName(QtStrings::title());
        MessageDialog named(QStringLiteral("Text"), MessageBoxStyle::kOk);
        QCOMPARE(named.windowTitle(), QStringLiteral("KMV410 Plugshift 916-928MHz"));
    }

    // A message answerer answers in place of the box: no window comes up at all.
    void messageAnswererReplacesTheBox() {
        QString seenText;
        unsigned seenStyle = 0;
        ModalRunner::answerMessages([&](const QString& text, unsigned style) {
            seenText = text;
            seenStyle = style;
            return MessageBoxStyle::kIdNo;
        });
        bool dialogShown = false;
        ModalRunner::answerDialogs([&](QDialog&) { dialogShown = true; });
        QCOMPARE(MessageDialog::showMessage(str::kConvertFailed, 0x24), MessageBoxStyle::kIdNo);
        QCOMPARE(seenText, QStringLiteral("Convert failed."));
        QCOMPARE(seenStyle, 0x24u);
        QVERIFY(!dialogShown);
    }

    // A dialog the answerer leaves open is ended, so nothing hangs.
    void openBoxLeftByTheAnswererEndsWithZero() {
        QCOMPARE(answerBox(QStringLiteral("Text"), MessageBoxStyle::kYesNo, [](MessageDialog&) {}),
                 0);
    }
};

}  // namespace plugshift

QTEST_MAIN(plugshift::MessageDialogTest)
#include "message_dialog_test.moc"
