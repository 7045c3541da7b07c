#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>
#include <string>
#include <vector>

#include "app/about_dialog.h"
#include "app/app_resources.h"
#include "app/application.h"
#include "app/console_server.h"
#include "app/dealer_login_dialog.h"
#include "app/help_opener.h"
#include "app/language_menu.h"
#include "app/layout_units.h"
#include "app/message_dialog.h"
#include "app/modal_runner.h"
#include "app/progress_status_bar.h"
#include "app/qt_message_target.h"
#include "app/qt_strings.h"
#include "app/task_dialog.h"
#include "config/configuration.h"
#include "conversion/convert_decisions.h"
#include "conversion/serial_decisions.h"
#include "conversion/workflow_outcome.h"
#include "errors/error_chain.h"
#include "radio/sbep.h"
#include "tasks/messages.h"
#include "tasks/radio_manager.h"
#include "tasks/task.h"

namespace plugshift {

namespace {

// Layout in dialog units, below the menu bar.
constexpr int kMargin = 7;
constexpr int kGroupWidth = 230;
constexpr int kGroupTitle = 14;  // from the group's top to its first row
constexpr int kRowPitch = 15;
constexpr int kRowHeight = 12;
constexpr int kCaptionLeft = 8;  // inside a group
constexpr int kCaptionWidth = 70;
constexpr int kValueLeft = 82;
constexpr int kButtonWidth = 95;
constexpr int kButtonHeight = 14;
constexpr int kCheckBoxHeight = 12;
constexpr int kRowGap = 6;
constexpr int kSerialGroupHeight = 34;
constexpr int kSerialEditWidth = 80;
constexpr int kTimeLabelHeight = 10;
// The picture control holds the radio bitmap with a little room around it.
constexpr int kPicturePadding = 4;

QString controlName(int id) {
    return QStringLiteral("control%1").arg(id);
}

QString withColon(int stringId) {
    return QtStrings::text(stringId) + u':';
}

}  // namespace

MainWindow::MainWindow(RadioManager& manager, Task& task, Configuration& configuration,
                       QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      manager_(manager),
      task_(task),
      configuration_(configuration),
      target_(QtMessageTarget::create(this)) {
    if (const QString data = Application::locateDataDirectory(); !data.isEmpty()) {
        backupFolder_ = std::filesystem::path(QFile::encodeName(data).toStdString()) / "backup";
    }
    setObjectName(QStringLiteral("mainWindow"));
    setWindowIcon(AppResources::icon(AppResources::kApplicationIcon));
    rebuildPictures();
    setWindowTitle(QtStrings::title());
    buildMenu();
    buildControls();
    statusBar_ = new ProgressStatusBar(this);
    layOutSerialGroup();
    newSerial_->setMaxLength(kSerialMaxLength);

    manager_.addListener(target_);
    manager_.resumePolling();

    applyEnablingRules();
    setTexts();
    refreshDisplay();
    restore_->setChecked(false);
    statusBar_->setPrompt(QtStrings::text(str::kPromptHelp));

    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &MainWindow::openHelp);
    // Every move over the window brings the general prompt back; moves over the menus do not,
    // there the highlighted item has its own.
    setMouseTracking(true);
    for (QWidget* child : findChildren<QWidget*>()) {
        if (qobject_cast<QMenu*>(child) == nullptr && qobject_cast<QMenuBar*>(child) == nullptr) {
            child->setMouseTracking(true);
            child->installEventFilter(this);
        }
    }
}

MainWindow::~MainWindow() {
    if (attachedServer_ != nullptr) {
        attachedServer_->setHandler({});
    }
    target_->detach();
    manager_.removeListener(target_.get());
    manager_.pausePolling();
}

void MainWindow::buildMenu() {
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("menuBar"));
    menuBar_->setNativeMenuBar(false);

    QMenu* file = menuBar_->addMenu(QtStrings::text(str::kMenuFile));
    file->setObjectName(QStringLiteral("fileMenu"));
    addCommand(file, kCmdExit, str::kMenuExit, str::kPromptExit);

    settingMenu_ = menuBar_->addMenu(QtStrings::text(str::kMenuSetting));
    settingMenu_->setObjectName(QStringLiteral("settingMenu"));
    addCommand(settingMenu_, kCmdDealerLogin, str::kMenuDealerLogin, str::kPromptDealerLogin);
    QStringList codes;
    std::wstring code;
    while (configuration_.nextLanguage(code)) {
        codes << QString::fromStdWString(code);
    }
    if (LanguageMenu* languages = LanguageMenu::create(
            codes, QString::fromStdWString(configuration_.defaultLanguage()),
            [this](const QString& chosen) { configuration_.storeLanguage(chosen.toStdWString()); },
            this)) {
        settingMenu_->addMenu(languages);
        connect(languages, &QMenu::aboutToShow, this,
                [this] { statusBar_->setPrompt(QtStrings::text(str::kPromptHelp)); });
    }

    QMenu* help = menuBar_->addMenu(QtStrings::text(str::kMenuHelp));
    help->setObjectName(QStringLiteral("helpMenu"));
    addCommand(help, kCmdHelpContents, str::kMenuHelpContents, str::kPromptHelpContents);
    addCommand(help, kCmdAbout, str::kMenuAbout, str::kPromptAbout);

    // Opening a menu, and closing it, leave the general prompt; a highlighted item shows its own.
    for (QMenu* menu : {file, settingMenu_, help}) {
        connect(menu, &QMenu::aboutToShow, this,
                [this] { statusBar_->setPrompt(QtStrings::text(str::kPromptHelp)); });
        connect(menu, &QMenu::aboutToHide, this,
                [this] { statusBar_->setPrompt(QtStrings::text(str::kPromptHelp)); });
    }
}

QAction* MainWindow::addCommand(QMenu* menu, int command, int textId, int promptId) {
    QAction* action = menu->addAction(QtStrings::text(textId));
    action->setObjectName(QStringLiteral("command%1").arg(command));
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { onCommand(command); });
    connect(action, &QAction::hovered, this,
            [this, promptId] { statusBar_->setPrompt(QtStrings::text(promptId)); });
    return action;
}

QAction* MainWindow::commandAction(int command) const {
    for (QAction* action : menuBar_->findChildren<QAction*>()) {
        if (action->objectName() == QStringLiteral("command%1").arg(command)) {
            return action;
        }
    }
    return nullptr;
}

void MainWindow::buildControls() {
    const LayoutUnits u(font());
    const int margin = u.x(kMargin);
    const int top = menuBar_->sizeHint().height() + u.y(kMargin);

    const QSize bitmap = AppResources::bitmap(AppResources::kRadioBitmap).size();
    const QRect pictureArea(margin, top, bitmap.width() + 2 * kPicturePadding,
                            bitmap.height() + 2 * kPicturePadding);
    picture_ = new QLabel(this);
    picture_->setObjectName(controlName(kIdPicture));
    picture_->setGeometry(pictureArea);
    picture_->setAlignment(Qt::AlignCenter);
    // Framed, so the place of the picture shows while no radio has been read.
    picture_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    const int groupLeft = pictureArea.right() + 1 + margin;
    const int groupHeight = u.y(kGroupTitle + RadioDisplay::FieldCount * kRowPitch);
    auto* group = new QGroupBox(this);
    group->setObjectName(controlName(kIdRadioInfoGroup));
    group->setGeometry(groupLeft, top, u.x(kGroupWidth), groupHeight);
    for (int field = 0; field < RadioDisplay::FieldCount; ++field) {
        const int y = top + u.y(kGroupTitle + field * kRowPitch);
        auto* caption = new QLabel(this);
        caption->setObjectName(controlName(kCaptionIds[field]));
        caption->setGeometry(groupLeft + u.x(kCaptionLeft), y, u.x(kCaptionWidth), u.y(kRowHeight));
        auto* value = new QLineEdit(this);
        value->setObjectName(controlName(kValueIds[field]));
        value->setReadOnly(true);
        value->setGeometry(groupLeft + u.x(kValueLeft), y,
                           u.x(kGroupWidth - kValueLeft - kCaptionLeft), u.y(kRowHeight));
        values_[field] = value;
    }
    const int groupRight = groupLeft + u.x(kGroupWidth);

    timeLabel_ = new QLabel(this);
    timeLabel_->setObjectName(controlName(kIdTimeLabel));
    timeLabel_->setAlignment(Qt::AlignCenter);
    timeLabel_->setGeometry(margin, pictureArea.bottom() + 1 + u.y(2), pictureArea.width(),
                            u.y(kTimeLabelHeight));
    timeLabel_->hide();

    const int buttonsTop =
        std::max(top + groupHeight, timeLabel_->geometry().bottom() + 1) + u.y(kRowGap);
    getInfo_ = new QPushButton(this);
    getInfo_->setObjectName(controlName(kIdGetRadioInfo));
    getInfo_->setGeometry(groupLeft, buttonsTop, u.x(kButtonWidth), u.y(kButtonHeight));
    convert_ = new QPushButton(this);
    convert_->setObjectName(controlName(kIdConvert));
    convert_->setGeometry(groupRight - u.x(kButtonWidth), buttonsTop, u.x(kButtonWidth),
                          u.y(kButtonHeight));
    const int checkTop = buttonsTop + u.y(kButtonHeight + kRowGap);
    restore_ = new QCheckBox(this);
    restore_->setObjectName(controlName(kIdRestore));
    // From the left margin: its text is the longest line of the window.
    restore_->setGeometry(margin, checkTop, groupRight - margin, u.y(kCheckBoxHeight));

    serialGroupTop_ = checkTop + u.y(kCheckBoxHeight + kRowGap);
    serialGroup_ = new QGroupBox(this);
    serialGroup_->setObjectName(controlName(kIdSerialGroup));
    serialGroup_->setGeometry(margin, serialGroupTop_, groupRight - margin,
                              u.y(kSerialGroupHeight));
    const int serialRow = u.y(kGroupTitle);
    auto* serialLabel = new QLabel(serialGroup_);
    serialLabel->setObjectName(controlName(kIdSerialGroupLabel));
    serialLabel->setGeometry(u.x(kCaptionLeft), serialRow, u.x(kCaptionWidth), u.y(kRowHeight));
    newSerial_ = new QLineEdit(serialGroup_);
    newSerial_->setObjectName(controlName(kIdNewSerial));
    newSerial_->setGeometry(u.x(kCaptionLeft + kCaptionWidth), serialRow, u.x(kSerialEditWidth),
                            u.y(kRowHeight));
    updateSerial_ = new QPushButton(serialGroup_);
    updateSerial_->setObjectName(controlName(kIdUpdateSerial));
    updateSerial_->setGeometry(serialGroup_->width() - u.x(kCaptionLeft + kButtonWidth),
                               serialRow - u.y(1), u.x(kButtonWidth), u.y(kButtonHeight));

    fullHeight_ = serialGroup_->geometry().bottom() + 1 + u.y(kMargin);
    setFixedWidth(groupRight + margin);
    menuBar_->setGeometry(0, 0, groupRight + margin, menuBar_->sizeHint().height());

    // Enter belongs to the control with the focus (keyPressEvent); no button stands in silently.
    for (QPushButton* button : {getInfo_, convert_, updateSerial_}) {
        button->setAutoDefault(false);
    }
    connect(getInfo_, &QPushButton::clicked, this, [this] { onCommand(kIdGetRadioInfo); });
    connect(convert_, &QPushButton::clicked, this, [this] { onCommand(kIdConvert); });
    connect(updateSerial_, &QPushButton::clicked, this, [this] { onCommand(kIdUpdateSerial); });
}

void MainWindow::setTexts() {
    getInfo_->setText(QtStrings::text(str::kButtonGetRadioInfo));
    restore_->setText(QtStrings::text(str::kCheckRestore));
    convert_->setText(QtStrings::text(str::kButtonConvert));
    updateSerial_->setText(QtStrings::text(str::kButtonUpdateSerial));
    static constexpr std::array<int, RadioDisplay::FieldCount> kCaptionTexts = {
        str::kLabelRadioType,     str::kLabelRegionCode,      str::kLabelModel,
        str::kLabelSerialNumber,  str::kLabelFirmwareVersion, str::kLabelCodeplugVersion,
        str::kLabelKeypadVersion, str::kLabelUserPrivateId};
    for (int field = 0; field < RadioDisplay::FieldCount; ++field) {
        auto* caption = findChild<QLabel*>(controlName(kCaptionIds[field]));
        // The user private ID's caption brings its own colon.
        caption->setText(field == RadioDisplay::UserPrivateId
                             ? QtStrings::text(kCaptionTexts[field])
                             : withColon(kCaptionTexts[field]));
    }
    findChild<QGroupBox*>(controlName(kIdRadioInfoGroup))
        ->setTitle(QtStrings::text(str::kRadioInformation));
    serialGroup_->setTitle(QtStrings::text(str::kLabelSerialNumber));
    findChild<QLabel*>(controlName(kIdSerialGroupLabel))
        ->setText(withColon(str::kLabelSerialNumber));
    timeLabel_->setText(QtStrings::text(str::kTimeLabelEmpty));
}

void MainWindow::layOutSerialGroup() {
    serialGroup_->setVisible(dealerLoggedIn_);
    serialGroup_->setEnabled(dealerLoggedIn_);
    const int statusHeight = statusBar_->sizeHint().height();
    const int contentHeight = dealerLoggedIn_ ? fullHeight_ : serialGroupTop_;
    setFixedHeight(contentHeight + statusHeight);
    statusBar_->placeAtBottom();
}

void MainWindow::onCommand(int id) {
    switch (id) {
        case kIdGetRadioInfo:
            getRadioInformation();
            break;
        case kIdUpdateSerial:
            updateSerialNumber();
            break;
        case kIdConvert:
            // Not while a console's start waits for its turn.
            if (operation_ == Operation::Idle) {
                convert();
            }
            break;
        case kCmdExit:
            exitApplication();
            break;
        case kCmdDealerLogin:
            dealerLogin();
            break;
        case kCmdAbout:
            showAbout();
            break;
        case kCmdHelpContents:
            openHelp();
            break;
        default:
            break;
    }
}

void MainWindow::exitApplication() {
    if (operation_ == Operation::Idle) {
        done(kCmdExit);
    }
}

void MainWindow::dealerLogin() {
    if (dealerLoggedIn_) {
        return;
    }
    std::wstring dealerCode;
    std::wstring acceptedCode;
    if (!configuration_.dealerCodes(dealerCode, acceptedCode)) {
        return;
    }
    const bool accepted = DealerLoginDialog::login(
        QString::fromStdWString(dealerCode),
        [this](const QString& code) { configuration_.storeAcceptedCode(code.toStdWString()); },
        this);
    if (!accepted) {
        return;
    }
    dealerLoggedIn_ = true;
    commandAction(kCmdDealerLogin)->setEnabled(false);
    layOutSerialGroup();
    applyEnablingRules();
}

void MainWindow::showAbout() {
    AboutDialog about(this);
    ModalRunner::exec(about);
}

void MainWindow::openHelp() {
    HelpOpener().open(QString::fromStdWString(configuration_.defaultLanguage()), this);
}

void MainWindow::applyEnablingRules() {
    QWidget* const controls[] = {getInfo_, restore_, convert_, newSerial_, updateSerial_};
    const bool wasEnabled[] = {getInfo_->isEnabled(), convert_->isEnabled(),
                               updateSerial_->isEnabled()};
    for (QWidget* control : controls) {
        const bool serialControl = control == newSerial_ || control == updateSerial_;
        control->setEnabled(cableConnected_ && (!serialControl || dealerLoggedIn_));
    }
    if (cableConnected_) {
        // The focus goes to the first workflow button that has just become usable.
        if (!wasEnabled[0]) {
            getInfo_->setFocus();
        } else if (!wasEnabled[1]) {
            convert_->setFocus();
        } else if (dealerLoggedIn_ && !wasEnabled[2]) {
            updateSerial_->setFocus();
        }
    } else {
        QLineEdit* radioType = values_[RadioDisplay::RadioType];
        radioType->deselect();
        radioType->setCursorPosition(0);
        radioType->setFocus();
    }
    statusBar_->setDisconnected(!cableConnected_);
    timeLabel_->setVisible(resultShown_);
}

void MainWindow::refreshDisplay() {
    const RadioDisplay::Texts texts =
        identityRead_ ? RadioDisplay::texts(manager_.radioInfo(), configuration_)
                      : RadioDisplay::unknown();
    for (int field = 0; field < RadioDisplay::FieldCount; ++field) {
        values_[field]->setText(texts[field]);
        values_[field]->setCursorPosition(0);
    }
    const QString model =
        identityRead_ ? RadioDisplay::modelNumber(manager_.radioInfo()) : QString();
    const QPixmap picture = pictures_.find(model);
    if (!picture.isNull() && picture.cacheKey() != shownPicture_.cacheKey()) {
        shownPicture_ = picture;
        picture_->setPixmap(picture);
        picture_->repaint();
    }
    if (resultShown_) {
        timeLabel_->setText(
            QDateTime::currentDateTime().toString(QStringLiteral("[ MM-dd HH:mm ]")));
    }
}

void MainWindow::rebuildPictures() {
    pictures_.build(configuration_, palette().color(QPalette::Button));
}

QString MainWindow::displayedText(RadioDisplay::Field field) const {
    return values_[field]->text();
}

bool MainWindow::event(QEvent* event) {
    const auto* message = dynamic_cast<AppMessageEvent*>(event);
    if (message == nullptr) {
        return QDialog::event(event);
    }
    const Message& m = message->message();
    switch (m.id) {
        case kMsgProgress:
            onProgress(m.wParam, m.lParam);
            break;
        case kMsgCableState:
            onCableNotification(m.lParam);
            break;
        default:  // command started and ended need nothing here
            break;
    }
    return true;
}

void MainWindow::onProgress(uintptr_t done, intptr_t total) {
    if (statusBar_->setProgress(done, total)) {
        statusBar_->repaint();
    }
}

void MainWindow::onCableNotification(intptr_t lParam) {
    // A message box of the one-cable check runs a loop in which later notices arrive; they are
    // dropped, the check counts for itself.
    if (inCableNotification_) {
        return;
    }
    inCableNotification_ = true;
    if (closePulledRadio()) {
        lParam = 0;  // the count held one for the port just closed
    }
    statusBar_->setDisconnected(lParam <= 0);
    const bool wasConnected = cableConnected_;
    cableConnected_ = lParam > 0;
    if (operation_ == Operation::Idle) {
        if (cableConnected_ != wasConnected) {
            applyEnablingRules();
        }
        if (lParam > 1) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            const bool before = cableConnected_;
            cableConnected_ = oneCableCheck() > 0;
            QApplication::restoreOverrideCursor();
            if (cableConnected_ != before) {
                applyEnablingRules();
            }
        }
    }
    inCableNotification_ = false;
}

bool MainWindow::closePulledRadio() {
    // Not under a command at work on the worker thread: the pulled cable fails its next exchange,
    // and its workflow closes the port when it ends.
    if (!manager_.radioInfo().isConnected() || task_.isRunning() || manager_.deviceCount() != 0) {
        return false;
    }
    manager_.connect(false);
    return true;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Cancel) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        pressEnter();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::pressEnter() {
    // The new serial number is entered to be written; elsewhere Enter presses the focused button.
    QWidget* focused = focusWidget();
    auto* button = focused == newSerial_ ? updateSerial_ : qobject_cast<QPushButton*>(focused);
    if (button != nullptr && button->isEnabled() && button->isVisible()) {
        button->click();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close box ends the window like Exit, and like Exit not while a workflow runs.
    event->ignore();
    if (operation_ == Operation::Idle) {
        done(QDialog::Rejected);
    }
}

void MainWindow::setVisible(bool visible) {
    QDialog::setVisible(visible);
    if (visible) {
        values_[RadioDisplay::RadioType]->deselect();
    }
}

void MainWindow::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        rebuildPictures();
        refreshDisplay();
    }
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    statusBar_->setPrompt(QtStrings::text(str::kPromptHelp));
    QDialog::mouseMoveEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        statusBar_->setPrompt(QtStrings::text(str::kPromptHelp));
    }
    return QDialog::eventFilter(watched, event);
}

// The radio workflows: Get radio information and Update serial number, and the opening and
// closing they share. The decisions come from the conversion library; here they are only
// sequenced and their outcome shown.

int MainWindow::oneCableCheck() {
    if (testMode_) {
        return 0;
    }
    USBSerial* port = manager_.radioInfo().port();
    if (port == nullptr) {
        return 0;
    }
    int firstIndex = -1;
    int count = port->countCables(firstIndex);
    while (count >= 2) {
        MessageDialog::showMessage(QtStrings::format(str::kManyCables, count),
                                   MessageDialog::kIconWarning, this);
        count = port->countCables(firstIndex);
    }
    return count;
}

bool MainWindow::openWorkflow(Operation operation, std::initializer_list<QWidget*> controls,
                              WorkflowOutcome& outcome) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Records left by earlier work (a failed poll, the last workflow) are not this one's.
    ErrorChain::remove(0);
    operation_ = operation;
    // The window holds the focus while it works: a disabled control would pass it on along the
    // tab order into the radio's fields, which select their text when tabbed into.
    setFocus(Qt::OtherFocusReason);
    for (QWidget* control : controls) {
        control->setEnabled(false);
    }
    oneCableCheck();
    if (!manager_.connect(true)) {
        outcome = WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error);
        return false;
    }
    return true;
}

bool MainWindow::probeCable(int wrongModeString, WorkflowOutcome& outcome) {
    switch (manager_.radioInfo().probeCable()) {
        case SBEP::kCableEcho:
            outcome = WorkflowOutcome::of(wrongModeString, MessageIcon::Warning);
            return false;
        case SBEP::kCableUnsupported:
            outcome = WorkflowOutcome::of(kStrCableUnsupported, MessageIcon::Error);
            return false;
        default:
            // A cable in its digital mode answers the probe with silence; the failed read that
            // leaves behind is no fault of the radio.
            ErrorChain::remove(0);
            return true;
    }
}

bool MainWindow::readIdentity(WorkflowOutcome& outcome) {
    if (!manager_.radioInfo().readIdentity()) {
        outcome = WorkflowOutcome::of(kStrConnectFailed, MessageIcon::Error);
        return false;
    }
    identityRead_ = true;
    return true;
}

void MainWindow::showOutcome(const WorkflowOutcome& outcome) {
    if (!outcome.hasMessage()) {
        return;
    }
    // The window's own string table, which holds the same numbers, so every text it shows
    // comes from one place.
    const QString text =
        outcome.argument.empty()
            ? QtStrings::text(outcome.stringId)
            : QtStrings::format(outcome.stringId, QString::fromStdWString(outcome.argument));
    MessageDialog::showMessage(text, static_cast<unsigned>(outcome.icon), this);
}

void MainWindow::closeWorkflow() {
    applyEnablingRules();
    operation_ = Operation::Idle;
    QApplication::restoreOverrideCursor();
}

void MainWindow::getRadioInformation() {
    WorkflowOutcome outcome = WorkflowOutcome::of(kStrInfoDone, MessageIcon::Information);
    bool identityComplete = false;
    const bool opened = openWorkflow(Operation::GettingInfo, {getInfo_}, outcome) &&
                        probeCable(kStrCableToDigital, outcome);
    const std::optional<ConversionRecord::Conversion> unfinished =
        opened ? readForUnfinished(outcome, identityComplete) : std::nullopt;
    const bool read = opened && identityComplete &&
                      checkModelConfigured(
                          configuration_,
                          RadioDisplay::modelNumber(manager_.radioInfo()).toStdWString(), outcome);
    if (read) {
        resultShown_ = true;
        refreshDisplay();
    }
    // A half-written radio: the offer to finish it comes before anything else is said.
    if (unfinished && askToFinish(*unfinished)) {
        finishConversion(*unfinished);
    } else {
        manager_.connect(false);
        showOutcome(outcome);
    }
    closeWorkflow();
}

void MainWindow::updateSerialNumber() {
    WorkflowOutcome outcome = WorkflowOutcome::of(kStrSerialUpdated, MessageIcon::Information);
    RadioInfo& radio = manager_.radioInfo();
    std::vector<uint8_t> serial;
    const bool checked =
        openWorkflow(Operation::UpdatingSerial, {updateSerial_, newSerial_}, outcome) &&
        readIdentity(outcome) &&
        checkModelConfigured(configuration_, RadioDisplay::modelNumber(radio).toStdWString(),
                             outcome) &&
        checkNewSerial(newSerial_->text().toStdWString(),
                       RadioInfo::serialText(radio.serialValue()).value_or(std::wstring()), serial,
                       outcome);
    if (checked) {
        serialCommand_.radio = &radio;
        serialCommand_.window = target_;
        serialCommand_.progressEnd = statusBar_->scale();
        serialCommand_.progressSpan = 0;
        serialCommand_.setNewSerial(
            std::string_view(reinterpret_cast<const char*>(serial.data()), serial.size()));
        TaskDialog::run(task_, &serialCommand_, this);
        if (!concludeSerialUpdate(serialCommand_, serialCommand_.ok)) {
            outcome = WorkflowOutcome::of(kStrSerialFailed, MessageIcon::Error);
        } else if (readIdentity(outcome)) {
            resultShown_ = true;
        }
    }
    manager_.connect(false);
    refreshDisplay();
    showOutcome(outcome);
    newSerial_->selectAll();
    closeWorkflow();
}

}  // namespace plugshift
