#include <QTest>

#include "app/string_table.h"

namespace plugshift {

class StringTableTest : public QObject {
    Q_OBJECT
private slots:
    // Texts that are easy to "fix" by mistake: misspellings, inner quotes, doubled and trailing
    // blanks, line breaks and letters outside ASCII are all part of the text.
    void keepsTextsExactly_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("106 misspelt") << str::kRestartForLanguage
                                      << QStringLiteral(
                                             "You have to restart the tool for thsi change to "
                                             "take effect.");
        QTest::newRow("113 misspelt") << str::kManyCables
                                      << QStringLiteral(
                                             "There are %d USB conections. Please remove the "
                                             "unused and keep one connection only.");
        QTest::newRow("119 quotes and blanks")
            << str::kToggleCableDigitalRetry
            << QStringLiteral(
                   "Please toggle the USB cable to DIGITAL (Flash) mode then click OK.  After "
                   "clicking OK, click the \"Convert\" button to retry the process. ");
        QTest::newRow("112 line break")
            << str::kFileMissing
            << QStringLiteral(
                   "A file needed for application could not be found or is corrupted. Please "
                   "re-install the application.\nIf you continue to get this message, please "
                   "contact Customer Service.");
        QTest::newRow("142 accent")
            << str::kLangPortugueseBrazil << QStringLiteral("Portugu\u00eas (&Brasil)");
        QTest::newRow("32794 Cyrillic")
            << str::kLangRussian
            << QStringLiteral("\u0420\u0443\u0441\u0441\u043a\u0438\u0439(&R)");
        QTest::newRow("137 time label")
            << str::kTimeLabelEmpty << QStringLiteral("[ 00-00 00:00 ]");
        QTest::newRow("147 wait") << str::kPleaseWait << QStringLiteral("Please wait...");
    }
    void keepsTextsExactly() {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(StringTable::text(id), text);
    }

    void unknownIdIsEmpty() {
        QVERIFY(!StringTable::contains(118));
        QVERIFY(StringTable::text(118).isEmpty());
        QVERIFY(StringTable::contains(str::kLabelUserPrivateId));
    }

    void titleJoinsItsThreePieces() {
        QCOMPARE(StringTable::title(), QStringLiteral("KMV410 Plugshift 916-928MHz"));
    }

    void formatFillsTheOnePlaceholder_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("expected");
        QTest::newRow("%d") << str::kManyCables << QStringLiteral("2")
                            << QStringLiteral(
                                   "There are 2 USB conections. Please remove the unused and "
                                   "keep one connection only.");
        QTest::newRow("%s") << str::kAlreadyConverted << QStringLiteral("916-928MHz")
                            << QStringLiteral("This radio is already in 916-928MHz.");
        QTest::newRow("%1") << str::kSeries << QStringLiteral("KMV")
                            << QStringLiteral("KMV Series");
        // An argument is text, never a format of its own.
        QTest::newRow("argument with %") << str::kAboutCaption << QStringLiteral("100% %s %d")
                                         << QStringLiteral("About 100% %s %d");
        QTest::newRow("no placeholder")
            << str::kConvertFailed << QStringLiteral("x") << QStringLiteral("Convert failed.");
    }
    void formatFillsTheOnePlaceholder() {
        QFETCH(int, id);
        QFETCH(QString, argument);
        QFETCH(QString, expected);
        QCOMPARE(StringTable::format(id, argument), expected);
    }

    void formatTakesNumbers() {
        QCOMPARE(StringTable::format(str::kManyCables, 3).left(13),
                 QStringLiteral("There are 3 U"));
    }
};

}  // namespace plugshift

QTEST_GUILESS_MAIN(plugshift::StringTableTest)
#include "string_table_test.moc"
