#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "app/about_dialog.h"
#include "app/app_resources.h"
#include "app/modal_runner.h"
#include "app/splash_screen.h"
#include "app/qt_strings.h"

namespace plugshift {

class SplashAboutTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ModalRunner::reset(); }

    void picturesAndIconsAreThere() {
        const QImage splash = AppResources::bitmap(AppResources::kSplashBitmap);
        QCOMPARE(splash.size(), AppResources::kSplashSize);
        QVERIFY(!splash.hasAlphaChannel());
        // The radio stands on the colour that the main window replaces by its own background.
        const QImage radio = AppResources::bitmap(AppResources::kRadioBitmap);
        QVERIFY(!radio.isNull());
        QVERIFY(!radio.hasAlphaChannel());
        QCOMPARE(radio.pixel(0, 0), AppResources::kRadioBackground);
        QCOMPARE(radio.pixel(radio.width() - 1, radio.height() - 1),
                 AppResources::kRadioBackground);
        QVERIFY(radio.pixel(radio.width() / 2, radio.height() / 2) !=
                AppResources::kRadioBackground);
        for (const int id : {AppResources::kApplicationIcon, AppResources::kCompanyIcon}) {
            const QList<QSize> sizes = AppResources::icon(id).availableSizes();
            QVERIFY(sizes.contains(QSize(16, 16)));
            QVERIFY(sizes.contains(QSize(32, 32)));
        }
        QVERIFY(AppResources::icon(1).isNull());
        QVERIFY(AppResources::bitmap(1).isNull());
    }

    void splashShowsThePictureForItsTimeCentredOnTheScreen() {
        SplashScreen splash;
        QCOMPARE(splash.size(), QSize(482, 362));
        QCOMPARE(splash.displayMs(), 1000);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ModalRunner::exec(splash), 1);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 950 && elapsed < 5000, qPrintable(QString::number(elapsed)));
        QCOMPARE(splash.geometry().center(), QGuiApplication::primaryScreen()->geometry().center());
        QVERIFY(!splash.isVisible());

        const QImage shown = splash.grab().toImage();
        const QImage picture = AppResources::bitmap(AppResources::kSplashBitmap);
        for (const QPoint at : {QPoint(0, 0), QPoint(240, 120), QPoint(481, 361)}) {
            QCOMPARE(shown.pixel(at), picture.pixel(at));
        }
    }

    void aboutShowsTitleVersionAndLegalTexts() {
        AboutDialog about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About KMV410 Plugshift 916-928MHz"));
        QCOMPARE(about.productName(), QStringLiteral("KMV410 Plugshift 916-928MHz"));
        QCOMPARE(about.version(), QStringLiteral("Version R01.00"));
        QCOMPARE(about.copyrightText(), QtStrings::text(str::kCopyright));
        QCOMPARE(about.trademarkText(), QtStrings::text(str::kTrademark));
        QCOMPARE(about.warningText(), QtStrings::text(str::kLegalWarning));
        for (const int id : {str::kCopyright, str::kTrademark, str::kLegalWarning}) {
            QVERIFY(QtStrings::text(id).contains(QStringLiteral("Kestrelon")));
        }
        QCOMPARE(about.okButton()->text(), QStringLiteral("&OK"));

        ModalRunner::answerDialogs([](QDialog& dialog) {
            QTest::mouseClick(static_cast<AboutDialog&>(dialog).okButton(), Qt::LeftButton);
        });
        QCOMPARE(ModalRunner::exec(about), 1);
    }
};

}  // namespace plugshift

QTEST_MAIN(plugshift::SplashAboutTest)
#include "splash_about_test.moc"
