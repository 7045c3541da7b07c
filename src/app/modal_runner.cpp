#include "app/modal_runner.h"

#include <QDialog>
#include <QTimer>

namespace plugshift {

namespace {

struct Answerers {
    ModalRunner::MessageAnswerer message;
    ModalRunner::DialogAnswerer dialog;
};

Answerers& answerers() {
    static Answerers a;
    return a;
}

}  // namespace

void ModalRunner::answerMessages(MessageAnswerer answerer) {
    answerers().message = std::move(answerer);
}

void ModalRunner::answerDialogs(DialogAnswerer answerer) {
    answerers().dialog = std::move(answerer);
}

void ModalRunner::reset() {
    answerers() = Answerers{};
}

const ModalRunner::MessageAnswerer& ModalRunner::messageAnswerer() {
    return answerers().message;
}

int ModalRunner::exec(QDialog& dialog) {
    if (answerers().dialog) {
        // A copy, so an answerer that replaces itself (or opens a nested dialog) stays valid.
        QTimer::singleShot(0, &dialog, [&dialog, answer = answerers().dialog] {
            answer(dialog);
            if (dialog.isVisible()) {
                dialog.done(0);
            }
        });
    }
    return dialog.exec();
}

}  // namespace plugshift
