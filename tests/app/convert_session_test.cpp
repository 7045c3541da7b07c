// Conversions as a service shop or a test station runs them: radio after radio through one window
// and one console session, the way back after a failure that left a radio half-written, and what
// a conversion recorded on its way to success.

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "desktop/console_link.h"
#include "app/main_window.h"
#include "app/message_dialog.h"
#include "app/modal_runner.h"
#include "app/qt_message_target.h"
#include "app/qt_strings.h"
#include "desktop/console_message.h"
#include "config/configuration.h"
#include "errors/error_chain.h"
#include "errors/error_log.h"
#include "formats/codeplug_image.h"
#include "formats/ftf_image.h"
#include "sim/sim_d2xx.h"
#include "sim/sim_faults.h"
#include "tasks/messages.h"
#include "tasks/radio_info.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"

namespace plugshift {

namespace {

using Bytes = std::vector<uint8_t>;

const QString kSampleData = QStringLiteral(PLUGSHIFT_SAMPLE_INSTALL_DIR "/data");
const QString kSampleSetup = QStringLiteral(
    PLUGSHIFT_SAMPLE_INSTALL_DIR "/sample-home/data/Kestrelon/KMV Plugshift PERU/data/setup.dat");

// The two layouts of the sample: the old one's default block is 0xC000 bytes, the new one's
// 0x10000.
struct Side {
    const char* addressMap;
    const char* codeplug;
    SimVersion radioVersion;
    uint32_t capacity;
};
const Side kOldSide{"KMVADDR_A01.03.00.ftf", "RQX770HJNWE_DEF_R01.03.00.ftf",
                    SimVersion{{'R', 1, 3, 0}}, 0xC000};
const Side kNewSide{"KMVADDR_A01.02.00.ftf", "RQX770HJNWE_DEF_R01.02.00.ftf",
                    SimVersion{{'R', 1, 2, 0}}, 0x10000};

// The codeplug as its own address map lays it out, over the block's whole capacity.
Bytes expectedDefaultBlock(const Side& side) {
    CodeplugImage cpg;
    FtfImage image;
    const auto file = [](const char* name) { return (kSampleData + u'/' + name).toStdWString(); };
    if (!loadFtf(file(side.addressMap).c_str(), image) ||
        !cpg.parseAddressMap(image.data.data(), image.length) ||
        !loadFtf(file(side.codeplug).c_str(), image) ||
        !cpg.parseCodeplug(image.data.data(), image.length)) {
        return {};
    }
    const CodeplugBlock& def = cpg.block(kBlockDef);
    return Bytes(def.data.begin(), def.data.begin() + def.capacity);
}

// A fresh radio of the side on the cable, with bytes in its default block that only a whole
// erase and program replace.
void nextRadio(SimD2xx& sim, const Side& side) {
    SimRadioConfig config;
    config.codeplug = side.radioVersion;
    sim.radio() = SimRadio(config);
    auto def = sim.radio().flash().block(SimBlock::Def);
    std::fill(def.begin() + 0x20, def.end(), 0xA5);
}

bool holdsItsCodeplug(SimD2xx& sim, const Side& side) {
    const auto def = sim.radio().flash().block(SimBlock::Def);
    const Bytes expected = expectedDefaultBlock(side);
    return expected.size() == side.capacity &&
           std::equal(expected.begin(), expected.end(), def.begin());
}

QString modelOf(const SimRadio& radio) {
    return QString::fromStdWString(RadioInfo::modelText(radio.model()).value_or(L""));
}

// A console that takes every post.
class RecordingLink : public ConsoleLink {
public:
    QList<ConsoleMessage> posts;
    bool isWindow(int64_t handle) const override { return handle == 77; }
    bool post(int64_t, const char* name, int64_t wParam, int64_t lParam) override {
        posts.append({name, wParam, lParam});
        return true;
    }
    int64_t ownHandle() const override { return 4242; }
};

}  // namespace

class ConvertSessionTest : public QObject {
    Q_OBJECT
    QTemporaryDir folder_;
    QStringList shown_;
    // Answers to Yes/No questions in turn; Yes once they run out.
    QList<int> yesNo_;
    std::function<void(const QString&)> onMessage_;

    std::unique_ptr<Task> task_;
    std::unique_ptr<RadioManager> manager_;
    QObject windows_;
    std::unique_ptr<MainWindow> window_;

    MainWindow& open(SimD2xx& sim) {
        task_ = std::make_unique<Task>();
        manager_ = std::make_unique<RadioManager>(sim);
        EventWindow::bind(*task_, &windows_);
        window_ = std::make_unique<MainWindow>(*manager_, *task_, Configuration::instance());
        window_->setBackupFolder(folder_.filePath(QStringLiteral("backup")).toStdString());
        AppMessageEvent cable(Message{kMsgCableState, 0, 1});
        QCoreApplication::sendEvent(window_.get(), &cable);
        return *window_;
    }
    QString errLog() const {
        QFile file(folder_.filePath(QStringLiteral("log/err.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private slots:
    void init() {
        QDir(folder_.path()).removeRecursively();
        QDir().mkpath(folder_.path());
        const QString setup = folder_.filePath(QStringLiteral("setup.dat"));
        QVERIFY(QFile::copy(kSampleSetup, setup));
        QFile::setPermissions(setup, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        Configuration& configuration = Configuration::instance();
        configuration.reset();
        QVERIFY(configuration.createDocument());
        QVERIFY(configuration.load((kSampleData + QStringLiteral("/config.xml")).toStdWString(),
                                   setup.toStdWString()));
        ErrorLog::setDirectory(folder_.path().toStdWString());
        shown_.clear();
        yesNo_.clear();
        onMessage_ = nullptr;
        ModalRunner::answerMessages([this](const QString& text, unsigned style) {
            shown_.append(text);
            if (onMessage_) {
                onMessage_(text);
            }
            if ((style & MessageDialog::kButtonsMask) != MessageDialog::kYesNo) {
                return MessageDialog::kIdOk;
            }
            return yesNo_.isEmpty() ? MessageDialog::kIdYes : yesNo_.takeFirst();
        });
    }
    void cleanup() {
        window_.reset();
        manager_.reset();
        task_.reset();
        ModalRunner::reset();
        ErrorChain::remove(0);
        ErrorLog::reset();
    }

    // An old-layout radio and then a new-layout one through one window: the second must get its
    // whole default block, not the part the first one's address map left in the block table.
    void radioAfterRadioInOneWindow() {
        SimD2xx sim;
        MainWindow& window = open(sim);
        for (const Side& side : {kOldSide, kNewSide}) {
            nextRadio(sim, side);
            shown_.clear();
            window.onCommand(MainWindow::kIdConvert);
            QCOMPARE(shown_.size(), 2);
            QCOMPARE(shown_[1], QStringLiteral("Convert successful."));
            QCOMPARE(modelOf(sim.radio()), QStringLiteral("RQX770HJNWE"));
            QVERIFY2(holdsItsCodeplug(sim, side), side.addressMap);
        }
    }

    // The same through one console session in test mode, as a test station runs it.
    void radioAfterRadioInOneConsoleSession() {
        SimD2xx sim;
        MainWindow& window = open(sim);
        RecordingLink console;
        window.setConsoleLink(&console);
        window.setTestMode(true);
        for (const Side& side : {kOldSide, kNewSide}) {
            nextRadio(sim, side);
            QCOMPARE(window.consoleRequest({ConsoleMessage::kStart, 77, 2056}),
                     ConsoleMessage::kStarted);
            QTRY_VERIFY_WITH_TIMEOUT(window.operation() == MainWindow::Operation::Idle, 30000);
            QVERIFY2(holdsItsCodeplug(sim, side), side.addressMap);
        }
        QVERIFY(shown_.isEmpty());
        QCOMPARE(console.posts.size(), 2);
        for (const ConsoleMessage& post : console.posts) {
            QCOMPARE(post, (ConsoleMessage{ConsoleMessage::kEnd, 8, 1}));
        }
    }

    // After a failure the offered recovery converts the radio again with its backup's
    // personality; another radio on the cable is refused and the offer stands.
    void theOfferedRecoveryEndsConvertedWithThePersonality() {
        SimD2xx::Options options;
        options.faults = {SimFault{SimFaultKind::CorruptDefaultBlock, 0, 0}};
        SimD2xx sim(options);
        const Bytes userId = sim.radio().userPrivateId();
        const int contacts = sim.radio().contactCount();
        MainWindow& window = open(sim);
        window.restoreCheckBox()->setChecked(true);
        const QString offer = QtStrings::text(str::kOfferRestore);
        SimRadioConfig otherConfig;
        otherConfig.serial = "999ZZ99Z99";
        SimRadio owners;
        SimRadio other(otherConfig);
        int offers = 0;
        onMessage_ = [&](const QString& text) {
            if (text != offer) {
                return;
            }
            // First another radio is on the cable, then the owner's, on a healthy link.
            sim.faults().clear();
            if (++offers == 1) {
                owners = sim.radio();
                sim.radio() = other;
            } else {
                other = sim.radio();
                sim.radio() = owners;
            }
        };
        window.onCommand(MainWindow::kIdConvert);

        QCOMPARE(shown_.size(), 6);
        QCOMPARE(shown_[1], QStringLiteral("Convert failed."));
        QCOMPARE(shown_[2], offer);
        QCOMPARE(shown_[3],
                 QtStrings::format(str::kRecoveryOtherRadio, QStringLiteral("752TRX4F21")));
        QCOMPARE(shown_[4], offer);
        QCOMPARE(shown_[5], QtStrings::text(str::kPersonalityRestored));
        QCOMPARE(modelOf(other), QStringLiteral("RQX770HJNWA"));  // never touched
        QCOMPARE(other.mode(), SimRadio::Mode::Normal);
        QCOMPARE(modelOf(sim.radio()), QStringLiteral("RQX770HJNWE"));
        QVERIFY(holdsItsCodeplug(sim, kOldSide));
        QVERIFY(sim.radio().userPrivateId() == userId);
        QCOMPARE(sim.radio().contactCount(), contacts);
        QCOMPARE(sim.radio().mode(), SimRadio::Mode::Normal);
        QCOMPARE(sim.radio().protectionMode(), SimRadio::lockMode(sim.radio().flashType()));
        QCOMPARE(window.displayedText(RadioDisplay::Model), QStringLiteral("RQX770HJNWE"));
        QCOMPARE(QDir(folder_.filePath(QStringLiteral("backup"))).entryList(QDir::Files).size(), 1);
        QCOMPARE(window.operation(), MainWindow::Operation::Idle);
        QVERIFY(!manager_->radioInfo().isConnected());
        QCOMPARE(ErrorChain::text(), std::wstring(L"OK"));
    }

    // A personality backup the data folder does not take: the message names the folder instead
    // of asking for a re-installation, and the radio is not touched.
    void aBackupFolderThatRefusesTheBackupIsNamed() {
        SimD2xx sim;
        const QString blocked = folder_.filePath(QStringLiteral("occupied"));
        {
            QFile file(blocked);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        MainWindow& window = open(sim);
        window.setBackupFolder((blocked + QStringLiteral("/backup")).toStdString());
        window.restoreCheckBox()->setChecked(true);
        window.onCommand(MainWindow::kIdConvert);
        QCOMPARE(shown_.size(), 2);
        QCOMPARE(shown_[1],
                 QtStrings::format(str::kBackupNotSaved, blocked + QStringLiteral("/backup")));
        QCOMPARE(modelOf(sim.radio()), QStringLiteral("RQX770HJNWA"));
    }

    // A contact that names none of the four groups is the owner's too: it is kept, and the
    // success comes without warnings.
    void aContactOfNoGroupIsKeptWithoutWarnings() {
        SimD2xx sim;
        sim.radio().flash().block(SimBlock::Con)[3 * SimRadio::kContactSize + 7] = 5;
        MainWindow& window = open(sim);
        window.restoreCheckBox()->setChecked(true);
        window.onCommand(MainWindow::kIdConvert);
        QCOMPARE(shown_.size(), 2);
        QCOMPARE(shown_[1], QStringLiteral("Convert successful."));
        QVERIFY(!errLog().contains(QStringLiteral("succeeded with warnings")));
        QCOMPARE(sim.radio().contactCount(), 12);
        QCOMPARE(ErrorChain::text(), std::wstring(L"OK"));
    }
};

}  // namespace plugshift

QTEST_MAIN(plugshift::ConvertSessionTest)
#include "convert_session_test.moc"
