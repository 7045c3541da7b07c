#pragma once

#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <array>
#include <memory>

#include "app/model_pictures.h"
#include "desktop/main_window_presenter.h"
#include "desktop/main_window_view.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;

namespace plugshift {

class ProgressStatusBar;
class Configuration;
class ConsoleServer;
class LanguageMenu;
class QtMessageTarget;
class RadioManager;
class Task;

// The main window's widgets: the identity of the connected radio, the workflow buttons, the
// status bar and the menus. What they show and do is the presenter's; each widget's object name
// is "control<id>".
class MainWindow : public QDialog, public MainWindowView {
    Q_OBJECT
public:
    MainWindow(RadioManager& manager, Task& task, Configuration& configuration,
               QWidget* parent = nullptr);
    // Stops listening to the consoles.
    ~MainWindow() override;

    MainWindowPresenter& presenter() { return *presenter_; }
    const MainWindowPresenter& presenter() const { return *presenter_; }
    // A menu command or a button, by its id.
    void onCommand(int id) { presenter_->onCommand(id); }
    // The consoles' requests go to the presenter, its answers back through the server.
    void attachConsole(ConsoleServer& server);

    // What each control shows now.
    QString displayedText(Field field) const;
    QCheckBox* keepPersonalityBox() const { return keepPersonality_; }
    ProgressStatusBar* statusBar() const { return statusBar_; }
    QPixmap shownPicture() const { return shownPicture_; }
    QMenuBar* menuBar() const { return menuBar_; }
    QAction* commandAction(int command) const;

    // MainWindowView
    std::shared_ptr<MessageTarget> messageTarget() override;
    void setControlText(int id, const std::wstring& text) override;
    void enableControl(int id, bool enabled) override;
    void showControl(int id, bool shown) override;
    void setFocus(int id) override;
    void selectText(int id, bool all) override;
    bool isKeepPersonalityChecked() const override;
    void setKeepPersonalityChecked(bool checked) override;
    std::wstring newSerialText() const override;
    void showSerialGroup(bool shown) override;
    void setCaption(const std::wstring& caption) override;
    void showPicture(int bitmapId) override;
    void checkLanguage(int command) override;
    void showStatusText(StatusBarParts::Part part, const std::wstring& text) override;
    void showProgress(int percent) override;
    void setWaitCursor(bool on) override;
    void flash(int milliseconds) override;
    int messageBox(const std::wstring& text, unsigned style) override;
    void runCommand(Task& task, Command& command) override;
    std::optional<std::wstring> askDealerPassword(DealerLogin& login) override;
    void showAbout() override;
    bool openHelpFile(const std::filesystem::path& path) override;
    void runSoon(std::function<void()> work) override;
    void closeWindow(int result) override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // A dialog that comes up selects the whole text of the field with the focus; the radio type
    // field holds the focus without a selection.
    void setVisible(bool visible) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The dialog never ends by Escape or Enter.
    void reject() override {}
    void accept() override {}

private:
    void buildControls();
    void buildMenu();
    QMenu* buildLanguageMenu();
    QAction* addCommand(QMenu* menu, int command, int textId);
    void showGeneralPrompt();
    QWidget* control(int id) const;
    // The id of the widget with the focus; 0 for none of the controls.
    int focusedId() const;

    std::shared_ptr<QtMessageTarget> target_;
    QPointer<ConsoleServer> attachedServer_;

    ProgressStatusBar* statusBar_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    LanguageMenu* languageMenu_ = nullptr;
    std::array<QLineEdit*, FieldCount> values_{};
    QCheckBox* keepPersonality_ = nullptr;
    QLineEdit* newSerial_ = nullptr;
    QGroupBox* serialGroup_ = nullptr;
    QLabel* picture_ = nullptr;
    ModelPictures pictures_;
    QPixmap shownPicture_;
    // The bitmap of the picture shown; 0 for none.
    int shownBitmap_ = 0;
    int fullHeight_ = 0;
    int serialGroupTop_ = 0;
    // Last: it talks to the widgets from its first call to its last.
    std::unique_ptr<MainWindowPresenter> presenter_;
};

}  // namespace plugshift
