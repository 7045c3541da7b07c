#include <QDir>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QStringDecoder>
#include <QTest>
#include <QXmlStreamReader>

namespace plugshift {

namespace {

// What a help document holds, as far as its completeness goes.
struct HelpOutline {
    QString language;              // <html lang>
    QString charset;               // <meta charset>
    QStringList sections;          // the ids of the h2 headings, in order
    QMap<QString, int> listItems;  // per section
    QStringList messages;          // the first column of the message table: the program's texts
    QStringList ids;
    QStringList links;  // in-page link targets, without '#'
    QString error;      // empty when the document is well-formed
};

// Reads the document as XML, which the help is written as, so an unclosed element, a stray
// entity or broken UTF-8 fails here instead of in a browser that guesses.
HelpOutline outline(const QByteArray& bytes) {
    HelpOutline result;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (utf8.hasError()) {
        result.error = QStringLiteral("not UTF-8");
        return result;
    }
    QXmlStreamReader reader(text);
    QString section;
    bool firstCell = false;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QStringView name = reader.name();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (attributes.hasAttribute(QStringLiteral("id"))) {
            result.ids << attributes.value(QStringLiteral("id")).toString();
        }
        const QString href = attributes.value(QStringLiteral("href")).toString();
        if (href.startsWith(u'#')) {
            result.links << href.mid(1);
        }
        if (name == u"html") {
            result.language = attributes.value(QStringLiteral("lang")).toString();
        } else if (name == u"meta") {
            result.charset = attributes.value(QStringLiteral("charset")).toString();
        } else if (name == u"h2") {
            section = attributes.value(QStringLiteral("id")).toString();
            result.sections << section;
        } else if (name == u"li") {
            ++result.listItems[section];
        } else if (name == u"tr") {
            firstCell = true;
        } else if (name == u"td" && firstCell) {
            firstCell = false;
            result.messages
                << reader.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
        }
    }
    if (reader.hasError()) {
        result.error =
            QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
    }
    return result;
}

HelpOutline outlineOf(const QString& file) {
    QFile help(file);
    if (!help.open(QIODevice::ReadOnly)) {
        HelpOutline missing;
        missing.error = help.errorString();
        return missing;
    }
    return outline(help.readAll());
}

// The language tag each shipped help declares; a new help file needs its line here.
const QMap<QString, QString> kLanguageTags = {
    {QStringLiteral("en_us.html"), QStringLiteral("en")},
    {QStringLiteral("sp_la.html"), QStringLiteral("es-419")},
};

const QString kHelpFolder = QStringLiteral(PLUGSHIFT_HELP_DIR);

}  // namespace

// Every help document the installation ships is well-formed and as complete as the English one:
// the same sections, as many steps in each, and the same program messages explained, quoted as
// the program shows them.
class HelpDocumentTest : public QObject {
    Q_OBJECT
private slots:
    void isCompleteAndWellFormed_data() {
        QTest::addColumn<QString>("file");
        const QStringList files = QDir(kHelpFolder).entryList({QStringLiteral("*.html")});
        QVERIFY(files.contains(QStringLiteral("en_us.html")));
        QVERIFY(files.contains(QStringLiteral("sp_la.html")));
        for (const QString& file : files) {
            QTest::newRow(qPrintable(file)) << file;
        }
    }
    void isCompleteAndWellFormed() {
        QFETCH(QString, file);
        const HelpOutline english = outlineOf(kHelpFolder + QStringLiteral("/en_us.html"));
        QVERIFY2(english.error.isEmpty(), qPrintable(english.error));
        const HelpOutline help = outlineOf(kHelpFolder + u'/' + file);
        QVERIFY2(help.error.isEmpty(), qPrintable(help.error));

        QVERIFY2(kLanguageTags.contains(file), "no language tag known for this help");
        QCOMPARE(help.language, kLanguageTags.value(file));
        QCOMPARE(help.charset.toLower(), QStringLiteral("utf-8"));
        QCOMPARE(QSet<QString>(help.ids.begin(), help.ids.end()).size(), help.ids.size());
        for (const QString& link : help.links) {
            QVERIFY2(help.ids.contains(link), qPrintable(link));
        }

        QVERIFY(!english.sections.isEmpty());
        QCOMPARE(help.sections, english.sections);
        QCOMPARE(help.listItems, english.listItems);
        QVERIFY(!english.messages.isEmpty());
        QCOMPARE(help.messages, english.messages);
    }

    // The check itself: what it must refuse.
    void refusesBrokenDocuments_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::newRow("unclosed element") << QByteArray("<html><body><p>text</body></html>");
        QTest::newRow("HTML-only entity") << QByteArray("<html><p>a &middot; b</p></html>");
        QTest::newRow("Latin-1 text") << QByteArray("<html><p>Espa\xf1ol</p></html>");
    }
    void refusesBrokenDocuments() {
        QFETCH(QByteArray, document);
        QVERIFY(!outline(document).error.isEmpty());
    }
};

}  // namespace plugshift

QTEST_MAIN(plugshift::HelpDocumentTest)
#include "help_document_test.moc"
