// Start-up of the application against a sandbox: the installation, the data folder, the
// system-wide installation id and the runtime folder all live in one temporary folder that the
// XDG variables point at, set before the application object exists (Qt reads some of them once).

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <string>

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_dialog.h"
#include "app/modal_runner.h"
#include "app/qt_strings.h"
#include "app/single_instance.h"
#include "config/config_file_codec.h"
#include "config/configuration.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "sim/sim_d2xx.h"

namespace plugshift {

namespace {

constexpr unsigned kFileProblem = MessageBoxStyle::kIconError;

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// The readable sample source with its region name replaced, packed as the program reads it.
QByteArray packed(const QString& sourceFile, const QString& regionName) {
    QByteArray text = readFile(sourceFile);
    text.replace("name=\"PERU\"", "name=\"" + regionName.toUtf8() + "\"");
    std::string bytes;
    if (!encodeConfigText(text.toStdString(), bytes)) {
        return {};
    }
    return QByteArray::fromStdString(bytes);
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
public:
    explicit StartupTest(const QString& sandbox) : sandbox_(sandbox) {}

private:
    QString installDir() const { return sandbox_ + QStringLiteral("/install"); }
    QString dataDir() const {
        return sandbox_ + QStringLiteral("/data-home/Kestrelon/KMV Plugshift PERU");
    }
    QString idFile() const {
        return sandbox_ + QStringLiteral("/config-dirs/Kestrelon/KMV Plugshift PERU.ini");
    }
    QString logText() const { return QString::fromUtf8(readFile(dataDir() + "/log/err.log")); }

    // A complete installation with the region named `region` in both files and the id file
    // holding `idLine` (no file for an empty one).
    void install(const QString& region, const QByteArray& idLine) {
        for (const char* folder : {"/install", "/data-home", "/config-dirs"}) {
            QDir(sandbox_ + QLatin1String(folder)).removeRecursively();
        }
        const QDir flash(QStringLiteral(PLUGSHIFT_SAMPLE_INSTALL_DIR "/data"));
        for (const QString& name : flash.entryList({QStringLiteral("*.ftf")}, QDir::Files)) {
            QVERIFY(writeFile(installDir() + "/data/" + name, readFile(flash.filePath(name))));
        }
        QVERIFY(
            writeFile(installDir() + "/data/config.xml",
                      packed(QStringLiteral(PLUGSHIFT_SAMPLE_SOURCE_DIR "/config.xml"), region)));
        QVERIFY(
            writeFile(dataDir() + "/data/setup.dat",
                      packed(QStringLiteral(PLUGSHIFT_SAMPLE_SOURCE_DIR "/setup.xml"), region)));
        if (!idLine.isEmpty()) {
            QVERIFY(writeFile(idFile(), "[General]\n" + idLine + "\n"));
        }
    }

    QString sandbox_;
    QList<QPair<QString, unsigned>> messages_;
    SimD2xx driver_;

private slots:
    void init() {
        Configuration::instance().reset();
        ErrorLog::reset();
        messages_.clear();
        ModalRunner::answerMessages([this](const QString& text, unsigned style) {
            messages_.append({text, style});
            return MessageBoxStyle::kIdOk;
        });
    }
    void cleanup() {
        ModalRunner::reset();
        ErrorChain::remove(0);
        Configuration::instance().reset();
        ErrorLog::reset();
    }

    void failingStepsStopStartUp_data() {
        QTest::addColumn<QString>("region");
        QTest::addColumn<QByteArray>("idLine");
        QTest::addColumn<bool>("removeConfig");
        QTest::addColumn<int>("stage");
        QTest::addColumn<QString>("logged");
        using Stage = Application::Stage;
        QTest::newRow("no id file")
            << QStringLiteral("PERU") << QByteArray() << false << int(Stage::InstallationId)
            << QStringLiteral("Error:failed to retrieve the id.");
        // Commas make a list, not a string: refused without a log entry.
        QTest::newRow("id not a string") << QStringLiteral("PERU") << QByteArray("id=A, B") << false
                                         << int(Stage::InstallationId) << QString();
        QTest::newRow("id missing") << QStringLiteral("PERU") << QByteArray("other=A") << false
                                    << int(Stage::InstallationId) << QString();
    }
    void failingStepsStopStartUp() {
        QFETCH(QString, region);
        QFETCH(QByteArray, idLine);
        QFETCH(bool, removeConfig);
        QFETCH(int, stage);
        QFETCH(QString, logged);
        install(region, idLine);
        if (removeConfig) {
            QVERIFY(QFile::remove(installDir() + "/data/config.xml"));
        }
        Application app(driver_);
        app.setBaseDirectory(installDir());
        QVERIFY(!app.initInstance());
        QCOMPARE(int(app.stage()), stage);
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_[0].first, QtStrings::text(str::kFileMissing));
        QCOMPARE(messages_[0].second, kFileProblem);
        QCOMPARE(MessageDialog::caption(), QStringLiteral("KMV410 Plugshift 916-928MHz"));
        const QStringList lines = logText().split(u'\n', Qt::SkipEmptyParts);
        if (logged.isEmpty()) {
            QVERIFY2(lines.isEmpty(), qPrintable(logText()));
        } else {
            QCOMPARE(lines.size(), 1);
            QVERIFY2(lines[0].endsWith(QStringLiteral("] ") + logged), qPrintable(lines[0]));
        }
        QVERIFY(ErrorChain::records().empty());
        QCOMPARE(app.exitInstance(), 0);
    }

    // Region names compare without regard to case; the id loses its blanks on the way into the
    // setup file; then the splash and the main window come up.
    void startsWithLowerCaseRegionAndTrimmedId() {
        install(QStringLiteral("peru"), "id=\"  KMV-PERU-7 \t\"");
        Application app(driver_);
        app.setBaseDirectory(installDir());
        QStringList shown;
        ModalRunner::answerDialogs([&](QDialog& dialog) {
            shown << dialog.metaObject()->className();
            if (auto* window = qobject_cast<MainWindow*>(&dialog)) {
                QCOMPARE(window->windowTitle(), QStringLiteral("KMV410 Plugshift 916-928MHz"));
                QCOMPARE(app.mainWindow(), window);
                window->onCommand(MainWindow::kCmdExit);
            }
        });
        QVERIFY(!app.initInstance());
        QCOMPARE(int(app.stage()), int(Application::Stage::Finished));
        QCOMPARE(shown, (QStringList{QStringLiteral("plugshift::SplashScreen"),
                                     QStringLiteral("plugshift::MainWindow")}));
        QVERIFY(messages_.isEmpty());
        QCOMPARE(app.dataDirectory(), dataDir());
        std::string setup;
        QVERIFY(decodeConfigBytes(readFile(dataDir() + "/data/setup.dat").toStdString(), setup));
        QVERIFY2(QString::fromStdString(setup).contains(QStringLiteral("<reg id=\"KMV-PERU-7\"")),
                 setup.c_str());
        QVERIFY(logText().isEmpty());
    }

    // A second start while the first holds the instance ends silently and knocks on the first.
    void secondInstanceRaisesTheFirst() {
        install(QStringLiteral("PERU"), "id=A");
        Application app(driver_);
        app.setBaseDirectory(installDir());
        SingleInstance first(app.mutexName(), dataDir());
        QCOMPARE(first.acquire(), SingleInstance::Outcome::First);
        QSignalSpy knocks(&first, &SingleInstance::raiseRequested);
        QVERIFY(!app.initInstance());
        QCOMPARE(int(app.stage()), int(Application::Stage::SingleInstance));
        QTRY_COMPARE(knocks.size(), 1);
        QVERIFY(messages_.isEmpty());
        QVERIFY(logText().isEmpty());
        QCOMPARE(QFileInfo(first.lockPath()).path(), sandbox_ + QStringLiteral("/runtime"));

        // Once the first has gone, a start takes the instance.
        first.release();
        app.exitInstance();
        Application again(driver_);
        again.setBaseDirectory(installDir());
        ModalRunner::answerDialogs([](QDialog& dialog) { dialog.done(0); });
        again.initInstance();
        QCOMPARE(int(again.stage()), int(Application::Stage::Finished));
    }
};

}  // namespace plugshift

int main(int argc, char** argv) {
    QTemporaryDir sandbox;
    if (!sandbox.isValid()) {
        return 1;
    }
    const QByteArray root = QFile::encodeName(sandbox.path());
    qputenv("XDG_DATA_HOME", root + "/data-home");
    qputenv("XDG_CONFIG_DIRS", root + "/config-dirs");
    qputenv("XDG_RUNTIME_DIR", root + "/runtime");
    const QString runtime = sandbox.path() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QApplication application(argc, argv);
    plugshift::StartupTest test(sandbox.path());
    return QTest::qExec(&test, argc, argv);
}

#include "startup_test.moc"
