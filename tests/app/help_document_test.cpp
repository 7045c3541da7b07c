#include <QDir>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QStringDecoder>
#include <QTest>
#include <QXmlStreamReader>
#include <iterator>

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
    QString text;       // what a reader sees, in document order
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
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::Characters) {
            result.text += reader.text();
        }
        if (token != QXmlStreamReader::StartElement) {
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
            const QString message = reader.readElementText(QXmlStreamReader::IncludeChildElements);
            result.text += message;
            result.messages << message.simplified();
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
    {QStringLiteral("de.html"), QStringLiteral("de")},
    {QStringLiteral("en_us.html"), QStringLiteral("en")},
    {QStringLiteral("fr.html"), QStringLiteral("fr")},
    {QStringLiteral("fr_ca.html"), QStringLiteral("fr-CA")},
    {QStringLiteral("it.html"), QStringLiteral("it")},
    {QStringLiteral("nl.html"), QStringLiteral("nl")},
    {QStringLiteral("pl.html"), QStringLiteral("pl")},
    {QStringLiteral("pt.html"), QStringLiteral("pt-PT")},
    {QStringLiteral("pt_br.html"), QStringLiteral("pt-BR")},
    {QStringLiteral("ru.html"), QStringLiteral("ru")},
    {QStringLiteral("sp.html"), QStringLiteral("es-ES")},
    {QStringLiteral("sp_la.html"), QStringLiteral("es-419")},
    {QStringLiteral("tu.html"), QStringLiteral("tr")},
};

// What each system's help must say and must never say: the other system's folders, devices and
// programs would send a dealer looking for what is not there.
struct PlatformWords {
    QString folder;  // help/<folder> of the build tree
    QStringList required;
    QStringList foreign;
};
const PlatformWords kPlatforms[] = {
    {QStringLiteral("linux"),
     {QStringLiteral("~/.local/share/Kestrelon/KMV Plugshift PERU/"),
      QStringLiteral("/dev/ttyUSB0"), QStringLiteral("log/err.log"), QStringLiteral("backup/")},
     {QStringLiteral("ProgramData"), QStringLiteral("ftd2xx"), QStringLiteral("COM"),
      QStringLiteral("Windows"), QStringLiteral("\\")}},
    {QStringLiteral("windows"),
     {QStringLiteral("C:\\ProgramData\\Kestrelon\\KMV Plugshift PERU\\"),
      QStringLiteral("ftd2xx.dll"), QStringLiteral("log\\err.log"), QStringLiteral("backup\\")},
     {QStringLiteral("/dev/"), QStringLiteral(".local/share"), QStringLiteral("~/"),
      QStringLiteral("udev"), QStringLiteral("dialout"), QStringLiteral("usermod"),
      QStringLiteral("xdg-open"), QStringLiteral("xdg-utils"), QStringLiteral("doctor"),
      QStringLiteral("Linux")}},
};

const QString kHelpFolder = QStringLiteral(PLUGSHIFT_HELP_DIR);

}  // namespace

// Every help document either system ships is well-formed and as complete as that system's English
// one: the same sections, as many steps in each, and the same program messages explained, quoted
// as the program shows them; and it speaks of its own system only.
class HelpDocumentTest : public QObject {
    Q_OBJECT
private slots:
    // One page per language for each system, and no other.
    void shipsAPageForEveryLanguage() {
        for (const PlatformWords& platform : kPlatforms) {
            QCOMPARE(
                QDir(kHelpFolder + u'/' + platform.folder).entryList({QStringLiteral("*.html")}),
                kLanguageTags.keys());
        }
    }

    void isCompleteAndWellFormed_data() {
        QTest::addColumn<int>("platform");  // in kPlatforms
        QTest::addColumn<QString>("file");
        for (int platform = 0; platform < int(std::size(kPlatforms)); ++platform) {
            for (const QString& file : kLanguageTags.keys()) {
                QTest::addRow("%s/%s", qPrintable(kPlatforms[platform].folder), qPrintable(file))
                    << platform << file;
            }
        }
    }
    void isCompleteAndWellFormed() {
        QFETCH(int, platform);
        QFETCH(QString, file);
        const PlatformWords& words = kPlatforms[platform];
        const QString folder = kHelpFolder + u'/' + words.folder + u'/';
        const HelpOutline english = outlineOf(folder + QStringLiteral("en_us.html"));
        QVERIFY2(english.error.isEmpty(), qPrintable(english.error));
        const HelpOutline help = outlineOf(folder + file);
        QVERIFY2(help.error.isEmpty(), qPrintable(help.error));

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

        const QString text = help.text.simplified();
        for (const QString& word : words.required) {
            QVERIFY2(text.contains(word), qPrintable(QStringLiteral("lacks ") + word));
        }
        for (const QString& word : words.foreign) {
            QVERIFY2(!text.contains(word), qPrintable(QStringLiteral("says ") + word));
        }
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
