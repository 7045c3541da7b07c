#include "fake_view.h"

#include <algorithm>

#include "desktop/dealer_login.h"
#include "desktop/message_box_style.h"
#include "tasks/task_waiter.h"

namespace plugshift::test {

std::vector<std::wstring> FakeView::boxTexts() const {
    std::vector<std::wstring> result;
    for (const Box& box : boxes) {
        result.push_back(box.text);
    }
    return result;
}

void FakeView::runPending() {
    std::vector<std::function<void()>> work;
    work.swap(soon);
    for (auto& run : work) {
        run();
    }
}

std::shared_ptr<MessageTarget> FakeView::messageTarget() {
    if (!window_) {
        window_ = loop_.createWindow([this](const Message& message) -> intptr_t {
            if (onMessage) {
                onMessage(message);
            }
            return 0;
        });
    }
    return window_;
}

int FakeView::messageBox(const std::wstring& text, unsigned style) {
    boxes.push_back({text, style});
    if (whileBoxShown) {
        whileBoxShown(boxes.back());
    }
    const MessageBoxStyle::Buttons buttons = MessageBoxStyle::buttons(style);
    if (buttons.second != 0 && !answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return buttons.first == MessageBoxStyle::kIdYes ? MessageBoxStyle::kIdNo
                                                    : MessageBoxStyle::kIdOk;
}

void FakeView::runCommand(Task& task, Command& command) {
    TaskWaiter(task).run(&command, loop_);
}

std::optional<std::wstring> FakeView::askDealerPassword(DealerLogin& login) {
    loginShowings.push_back({login.lastEntry(), login.isWrongShown()});
    if (loginEntries.empty()) {
        return std::nullopt;
    }
    std::optional<std::wstring> entry = loginEntries.front();
    loginEntries.pop_front();
    return entry;
}

bool FakeView::openHelpFile(const std::filesystem::path& path) {
    helpHandedOver.push_back(path);
    return std::ranges::find(viewerOpens, path.filename()) != viewerOpens.end();
}

}  // namespace plugshift::test
