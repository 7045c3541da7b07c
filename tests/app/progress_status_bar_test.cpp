#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QTest>
#include <QToolTip>

#include "app/progress_status_bar.h"
#include "app/qt_strings.h"

namespace plugshift {

class ProgressStatusBarTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        host = new QWidget;
        host->resize(500, 300);
        bar = new ProgressStatusBar(host);
    }
    void cleanup() { delete host; }

    void startsEmptyAlongTheBottom() {
        QCOMPARE(bar->cableText(), QString());
        QCOMPARE(bar->prompt(), QString());
        QCOMPARE(bar->percent(), 0);
        QCOMPARE(bar->geometry().bottom(), host->height() - 1);
        QCOMPARE(bar->width(), host->width());
    }

    void partsEndAt30And60PercentAndTheRightEnd() {
        QCOMPARE(bar->partRect(0).left(), 0);
        QVERIFY(qAbs(bar->partRect(0).right() - 150) <= 3);
        QCOMPARE(bar->partRect(1).left(), 150);
        QVERIFY(qAbs(bar->partRect(1).right() - 300) <= 3);
        QCOMPARE(bar->partRect(2).left(), 300);
        QCOMPARE(bar->partRect(2).right(), 499);
        QVERIFY(bar->partRect(2).contains(bar->progressRect()));

        host->resize(1000, 300);
        bar->placeAtBottom();
        QCOMPARE(bar->partRect(2).left(), 600);
    }

    void theSamePercentTwiceChangesNothing() {
        QVERIFY(!bar->setPercent(0));  // the percent it starts with
        QVERIFY(bar->setPercent(40));
        QVERIFY(!bar->setPercent(40));
        QCOMPARE(bar->percent(), 40);
        QVERIFY(bar->setPercent(10));  // going back is a change like any other
        QCOMPARE(bar->percent(), 10);
    }

    void textsChangeOnlyWhenDifferent() {
        const QString connected = QStringLiteral("USB Cable Connected");
        QVERIFY(bar->setText(StatusBarParts::Cable, connected));
        QVERIFY(!bar->setText(StatusBarParts::Cable, connected));
        QCOMPARE(bar->cableText(), connected);

        QVERIFY(bar->setText(StatusBarParts::Prompt, QtStrings::text(str::kPromptExit)));
        QVERIFY(!bar->setText(StatusBarParts::Prompt, QtStrings::text(str::kPromptExit)));
        QCOMPARE(bar->prompt(), QStringLiteral("Quit the application"));
        QCOMPARE(bar->cableText(), connected);
        QVERIFY(!bar->setText(StatusBarParts::Progress, connected));
    }

    // A prompt longer than its 30 % is cut with an ellipsis; the whole of it is the part's
    // tooltip. A prompt that fits has none, nor has the progress part.
    void aCutPromptShowsWhollyAsItsPartsTooltip() {
        const QString about = QtStrings::text(str::kPromptAbout);
        bar->setText(StatusBarParts::Prompt, about);
        const QString shown = bar->shownText(ProgressStatusBar::kPromptPart);
        QVERIFY2(shown.endsWith(QChar(0x2026)) && shown.size() < about.size(), qPrintable(shown));
        QVERIFY(about.startsWith(shown.chopped(1)));
        const QPoint inPrompt = bar->partRect(0).center();
        QCOMPARE(bar->toolTipAt(inPrompt), about);
        const bool cableCut = bar->shownText(ProgressStatusBar::kCablePart) != bar->cableText();
        QCOMPARE(bar->toolTipAt(bar->partRect(1).center()),
                 cableCut ? bar->cableText() : QString());
        QCOMPARE(bar->toolTipAt(bar->partRect(2).center()), QString());

        QHelpEvent help(QEvent::ToolTip, inPrompt, bar->mapToGlobal(inPrompt));
        QApplication::sendEvent(bar, &help);
        QTRY_COMPARE(QToolTip::text(), about);
        QToolTip::hideText();

        bar->setText(StatusBarParts::Prompt, QtStrings::text(str::kPromptHelp));
        QCOMPARE(bar->shownText(ProgressStatusBar::kPromptPart), QtStrings::text(str::kPromptHelp));
        QCOMPARE(bar->toolTipAt(inPrompt), QString());
    }

    // 0 draws neither text nor bar; 100 fills the part; 50 fills the left half and shows "50%"
    // across the bar's end, inverted over the bar.
    void drawsTheBarAndItsInvertedText() {
        const QColor background = bar->palette().color(QPalette::Window);
        const QColor fill = bar->palette().color(QPalette::Highlight);
        const QRect area = bar->progressRect();
        const auto countColour = [&](const QImage& image, const QRect& region, const QColor& c) {
            int count = 0;
            for (int y = region.top(); y <= region.bottom(); ++y) {
                for (int x = region.left(); x <= region.right(); ++x) {
                    count += QColor(image.pixel(x, y)) == c ? 1 : 0;
                }
            }
            return count;
        };
        const int pixels = area.width() * area.height();

        QImage image = bar->grab().toImage();
        QCOMPARE(countColour(image, area, background), pixels);

        bar->setPercent(100);
        image = bar->grab().toImage();
        const int filled = countColour(image, area, fill);
        QVERIFY(filled > pixels * 9 / 10);  // all but the text
        QVERIFY(filled < pixels);

        bar->setPercent(50);
        image = bar->grab().toImage();
        const int barEnd = area.left() + area.width() * 50 / 100;
        const QRect left(area.left(), area.top(), barEnd - area.left(), area.height());
        const QRect right(barEnd, area.top(), area.right() - barEnd + 1, area.height());
        QCOMPARE(countColour(image, right, fill), 0);
        QCOMPARE(countColour(image, left, background), 0);
        // The text straddles the bar's end: light ink on the bar, dark ink beside it.
        const auto countGrey = [&](const QRect& region, auto inRange) {
            int count = 0;
            for (int y = region.top(); y <= region.bottom(); ++y) {
                for (int x = region.left(); x <= region.right(); ++x) {
                    count += inRange(qGray(image.pixel(x, y))) ? 1 : 0;
                }
            }
            return count;
        };
        QVERIFY(countGrey(right, [](int grey) { return grey < 100; }) > 0);
        QVERIFY(countGrey(left, [](int grey) { return grey > 220; }) > 0);
    }

private:
    QWidget* host = nullptr;
    ProgressStatusBar* bar = nullptr;
};

}  // namespace plugshift

QTEST_MAIN(plugshift::ProgressStatusBarTest)
#include "progress_status_bar_test.moc"
