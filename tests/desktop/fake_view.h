#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "desktop/main_window_view.h"
#include "desktop/status_bar_parts.h"
#include "tasks/message_loop.h"

namespace plugshift::test {

// A main window that draws nothing: it keeps what the presenter set, records the message boxes
// and answers them from a queue, and runs commands on the test's message loop.
class FakeView : public MainWindowView {
public:
    struct Box {
        std::wstring text;
        unsigned style;
    };

    explicit FakeView(MessageLoop& loop) : loop_(loop) {}

    // Where the presenter's messages go; set once the presenter exists.
    std::function<void(const Message&)> onMessage;
    // Answers of the next boxes that offer a choice, in turn; a box with only OK takes none. An
    // empty queue answers OK, or No to a question.
    std::deque<int> answers;
    // Answers of the dealer login, one per showing of its dialog: an entry confirmed, or
    // nothing for a dialog closed; an empty queue closes it.
    std::deque<std::optional<std::wstring>> loginEntries;
    // Each showing of the login dialog: the entry it came up with and whether it said the last
    // one was wrong.
    struct LoginShowing {
        std::wstring entry;
        bool wrongShown;
    };
    std::vector<LoginShowing> loginShowings;
    // Called while a box waits, before its answer.
    std::function<void(const Box&)> whileBoxShown;
    // Files the system's viewer opens.
    std::vector<std::filesystem::path> viewerOpens;

    std::vector<Box> boxes;
    std::map<int, std::wstring> texts;
    std::map<int, bool> enabled;
    std::map<int, bool> shown;
    int focus = -1;
    bool keepPersonality = false;
    std::wstring newSerial;
    bool serialGroupShown = false;
    std::wstring caption;
    // The bitmaps shown, in turn.
    std::vector<int> pictures;
    int checkedLanguage = -1;
    std::array<std::wstring, StatusBarParts::Count> statusTexts;
    int waitCursor = 0;
    int flashes = 0;
    std::vector<int> progress;
    int closedWith = -1;
    std::vector<std::filesystem::path> helpHandedOver;
    std::vector<std::function<void()>> soon;

    // Box texts, in order.
    std::vector<std::wstring> boxTexts() const;
    // Runs what was put off until the current message was handled.
    void runPending();

    std::shared_ptr<MessageTarget> messageTarget() override;
    void setControlText(int id, const std::wstring& text) override { texts[id] = text; }
    void enableControl(int id, bool on) override { enabled[id] = on; }
    void showControl(int id, bool on) override { shown[id] = on; }
    void setFocus(int id) override { focus = id; }
    void selectText(int, bool) override {}
    bool isKeepPersonalityChecked() const override { return keepPersonality; }
    void setKeepPersonalityChecked(bool checked) override { keepPersonality = checked; }
    std::wstring newSerialText() const override { return newSerial; }
    void showSerialGroup(bool on) override { serialGroupShown = on; }
    void setCaption(const std::wstring& text) override { caption = text; }
    void showPicture(int bitmapId) override { pictures.push_back(bitmapId); }
    void checkLanguage(int command) override { checkedLanguage = command; }
    void showStatusText(StatusBarParts::Part part, const std::wstring& text) override {
        statusTexts[part] = text;
    }
    void showProgress(int percent) override { progress.push_back(percent); }
    void setWaitCursor(bool on) override { waitCursor += on ? 1 : -1; }
    void flash(int) override { ++flashes; }
    int messageBox(const std::wstring& text, unsigned style) override;
    void runCommand(Task& task, Command& command) override;
    std::optional<std::wstring> askDealerPassword(DealerLogin& login) override;
    void showAbout() override {}
    bool openHelpFile(const std::filesystem::path& path) override;
    void runSoon(std::function<void()> work) override { soon.push_back(std::move(work)); }
    void closeWindow(int result) override { closedWith = result; }

private:
    MessageLoop& loop_;
    std::shared_ptr<LoopWindow> window_;
};

}  // namespace plugshift::test
