#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "app/about_dialog.h"
#include "app/app_resources.h"
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
#include "desktop/dealer_login.h"
#include "tasks/command.h"
#include "tasks/radio_manager.h"

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

}  // namespace

MainWindow::MainWindow(RadioManager& manager, Task& task, Configuration& configuration,
                       QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      target_(QtMessageTarget::create(this)) {
    presenter_ = std::make_unique<MainWindowPresenter>(*this, manager, task, configuration);
    setObjectName(QStringLiteral("mainWindow"));
    setWindowIcon(AppResources::icon(AppResources::kApplicationIcon));
    pictures_.setButtonFace(palette().color(QPalette::Button));
    buildMenu();
    buildControls();
    statusBar_ = new ProgressStatusBar(this);
    newSerial_->setMaxLength(MainWindowPresenter::kSerialMaxLength);
    presenter_->start();

    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { onCommand(kCmdHelpContents); });
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
}

void MainWindow::attachConsole(ConsoleServer& server) {
    attachedServer_ = &server;
    presenter_->setConsoleLink(&server);
    server.setHandler(
        [this](const ConsoleMessage& request) { return presenter_->consoleRequest(request); });
}

void MainWindow::buildMenu() {
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("menuBar"));
    menuBar_->setNativeMenuBar(false);

    QMenu* file = menuBar_->addMenu(QtStrings::text(str::kMenuFile));
    file->setObjectName(QStringLiteral("fileMenu"));
    addCommand(file, kCmdExit, str::kMenuExit);

    QMenu* setting = menuBar_->addMenu(QtStrings::text(str::kMenuSetting));
    setting->setObjectName(QStringLiteral("settingMenu"));
    addCommand(setting, kCmdDealerLogin, str::kMenuDealerLogin);
    if (QMenu* languages = buildLanguageMenu()) {
        setting->addMenu(languages);
    }

    QMenu* help = menuBar_->addMenu(QtStrings::text(str::kMenuHelp));
    help->setObjectName(QStringLiteral("helpMenu"));
    addCommand(help, kCmdHelpContents, str::kMenuHelpContents);
    addCommand(help, kCmdAbout, str::kMenuAbout);

    // Opening a menu, and closing it, leave the general prompt; a highlighted item shows its own.
    for (QMenu* menu : {file, setting, help}) {
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::showGeneralPrompt);
        connect(menu, &QMenu::aboutToHide, this, &MainWindow::showGeneralPrompt);
    }
}

QAction* MainWindow::addCommand(QMenu* menu, int command, int textId) {
    QAction* action = menu->addAction(QtStrings::text(textId));
    action->setObjectName(QStringLiteral("command%1").arg(command));
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { onCommand(command); });
    connect(action, &QAction::hovered, this,
            [this, command] { presenter_->onMenuHighlight(command); });
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
    const int groupHeight = u.y(kGroupTitle + FieldCount * kRowPitch);
    auto* group = new QGroupBox(this);
    group->setObjectName(controlName(kIdRadioInfoGroup));
    group->setGeometry(groupLeft, top, u.x(kGroupWidth), groupHeight);
    for (int field = 0; field < FieldCount; ++field) {
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

    auto* timeLabel = new QLabel(this);
    timeLabel->setObjectName(controlName(kIdTimeLabel));
    timeLabel->setAlignment(Qt::AlignCenter);
    timeLabel->setGeometry(margin, pictureArea.bottom() + 1 + u.y(2), pictureArea.width(),
                           u.y(kTimeLabelHeight));
    timeLabel->hide();

    const int buttonsTop =
        std::max(top + groupHeight, timeLabel->geometry().bottom() + 1) + u.y(kRowGap);
    auto* getInfo = new QPushButton(this);
    getInfo->setObjectName(controlName(kIdGetRadioInfo));
    getInfo->setGeometry(groupLeft, buttonsTop, u.x(kButtonWidth), u.y(kButtonHeight));
    auto* convert = new QPushButton(this);
    convert->setObjectName(controlName(kIdConvert));
    convert->setGeometry(groupRight - u.x(kButtonWidth), buttonsTop, u.x(kButtonWidth),
                         u.y(kButtonHeight));
    const int checkTop = buttonsTop + u.y(kButtonHeight + kRowGap);
    keepPersonality_ = new QCheckBox(this);
    keepPersonality_->setObjectName(controlName(kIdKeepPersonality));
    // From the left margin: its text is the longest line of the window.
    keepPersonality_->setGeometry(margin, checkTop, groupRight - margin, u.y(kCheckBoxHeight));

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
    auto* updateSerial = new QPushButton(serialGroup_);
    updateSerial->setObjectName(controlName(kIdUpdateSerial));
    updateSerial->setGeometry(serialGroup_->width() - u.x(kCaptionLeft + kButtonWidth),
                              serialRow - u.y(1), u.x(kButtonWidth), u.y(kButtonHeight));

    fullHeight_ = serialGroup_->geometry().bottom() + 1 + u.y(kMargin);
    setFixedWidth(groupRight + margin);
    menuBar_->setGeometry(0, 0, groupRight + margin, menuBar_->sizeHint().height());

    // Enter belongs to the control with the focus (keyPressEvent); no button stands in silently.
    const std::pair<QPushButton*, int> buttons[] = {
        {getInfo, kIdGetRadioInfo}, {convert, kIdConvert}, {updateSerial, kIdUpdateSerial}};
    for (const auto& [button, id] : buttons) {
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, id] { onCommand(id); });
    }
}

QMenu* MainWindow::buildLanguageMenu() {
    languageMenu_ = LanguageMenu::create(
        presenter_->languages(), [this](int command) { onCommand(command); }, this);
    if (languageMenu_ != nullptr) {
        connect(languageMenu_, &QMenu::aboutToShow, this, &MainWindow::showGeneralPrompt);
    }
    return languageMenu_;
}

void MainWindow::showGeneralPrompt() {
    if (presenter_ != nullptr) {
        presenter_->onMenuHighlight(0);
    }
}

QWidget* MainWindow::control(int id) const {
    return findChild<QWidget*>(controlName(id));
}

int MainWindow::focusedId() const {
    const QString name = focusWidget() != nullptr ? focusWidget()->objectName() : QString();
    return name.startsWith(QStringLiteral("control")) ? name.mid(7).toInt() : 0;
}

std::shared_ptr<MessageTarget> MainWindow::messageTarget() {
    return target_;
}

void MainWindow::setControlText(int id, const std::wstring& text) {
    const QString shown = QString::fromStdWString(text);
    QWidget* widget = control(id);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(shown);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(shown);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(shown);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(shown);
    }
}

void MainWindow::enableControl(int id, bool enabled) {
    if (QAction* action = commandAction(id)) {
        action->setEnabled(enabled);
    } else if (QWidget* widget = control(id)) {
        widget->setEnabled(enabled);
    }
}

void MainWindow::showControl(int id, bool shown) {
    if (QWidget* widget = control(id)) {
        widget->setVisible(shown);
    }
}

void MainWindow::setFocus(int id) {
    QWidget* widget = id == kIdWindow ? this : control(id);
    if (widget != nullptr) {
        widget->setFocus(Qt::OtherFocusReason);
    }
}

void MainWindow::selectText(int id, bool all) {
    auto* edit = qobject_cast<QLineEdit*>(control(id));
    if (edit == nullptr) {
        return;
    }
    if (all) {
        edit->selectAll();
    } else {
        edit->deselect();
        edit->setCursorPosition(0);
    }
}

bool MainWindow::isKeepPersonalityChecked() const {
    return keepPersonality_->isChecked();
}

void MainWindow::setKeepPersonalityChecked(bool checked) {
    keepPersonality_->setChecked(checked);
}

std::wstring MainWindow::newSerialText() const {
    return newSerial_->text().toStdWString();
}

void MainWindow::showSerialGroup(bool shown) {
    serialGroup_->setVisible(shown);
    serialGroup_->setEnabled(shown);
    const int statusHeight = statusBar_->sizeHint().height();
    const int contentHeight = shown ? fullHeight_ : serialGroupTop_;
    setFixedHeight(contentHeight + statusHeight);
    statusBar_->placeAtBottom();
}

void MainWindow::setCaption(const std::wstring& caption) {
    setWindowTitle(QString::fromStdWString(caption));
}

void MainWindow::showPicture(int bitmapId) {
    shownBitmap_ = bitmapId;
    const QPixmap picture = pictures_.find(bitmapId);
    if (!picture.isNull() && picture.cacheKey() != shownPicture_.cacheKey()) {
        shownPicture_ = picture;
        picture_->setPixmap(picture);
        picture_->repaint();
    }
}

void MainWindow::checkLanguage(int command) {
    if (languageMenu_ != nullptr) {
        languageMenu_->markChecked(command);
    }
}

void MainWindow::showStatusText(StatusBarParts::Part part, const std::wstring& text) {
    statusBar_->setText(part, QString::fromStdWString(text));
}

void MainWindow::showProgress(int percent) {
    if (statusBar_->setPercent(percent)) {
        statusBar_->repaint();
    }
}

void MainWindow::setWaitCursor(bool on) {
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void MainWindow::flash(int milliseconds) {
    QApplication::alert(this, milliseconds);
}

int MainWindow::messageBox(const std::wstring& text, unsigned style) {
    return MessageDialog::showMessage(QString::fromStdWString(text), style, this);
}

void MainWindow::runCommand(Task& task, Command& command) {
    TaskDialog::run(task, &command, this);
}

std::optional<std::wstring> MainWindow::askDealerPassword(DealerLogin& login) {
    return DealerLoginDialog::ask(login, this);
}

void MainWindow::showAbout() {
    AboutDialog about(this);
    ModalRunner::exec(about);
}

bool MainWindow::openHelpFile(const std::filesystem::path& path) {
    return HelpOpener().open(path);
}

void MainWindow::runSoon(std::function<void()> work) {
    QTimer::singleShot(0, this, std::move(work));
}

void MainWindow::closeWindow(int result) {
    done(result);
}

QString MainWindow::displayedText(Field field) const {
    return values_[field]->text();
}

bool MainWindow::event(QEvent* event) {
    const auto* message = dynamic_cast<AppMessageEvent*>(event);
    if (message == nullptr) {
        return QDialog::event(event);
    }
    const Message& m = message->message();
    presenter_->onMessage(m.id, m.wParam, m.lParam);
    return true;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Cancel) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        presenter_->onEnter(focusedId());
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The presenter ends the window, or not.
    event->ignore();
    presenter_->onClose();
}

void MainWindow::setVisible(bool visible) {
    QDialog::setVisible(visible);
    if (visible) {
        values_[RadioType]->deselect();
    }
}

void MainWindow::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && presenter_ != nullptr) {
        pictures_.setButtonFace(palette().color(QPalette::Button));
        shownPicture_ = QPixmap();
        showPicture(shownBitmap_);
    }
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    showGeneralPrompt();
    QDialog::mouseMoveEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        showGeneralPrompt();
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace plugshift
