#include "app/modal_seam.h"

#include <QDialog>
#include <QTimer>

namespace plugshift {

namespace {

struct Answerers {
    ModalSeam::MessageAnswerer message;
    ModalSeam::DialogAnswerer dialog;
};

Answerers& answerers() {
    static Answerers a;
    return a;
}

}  // namespace

void ModalSeam::answerMessages(MessageAnswerer answerer) {
    answerers().message = std::move(answerer);
}

void ModalSeam::answerDialogs(DialogAnswerer answerer) {
    answerers().dialog = std::move(answerer);
}

void ModalSeam::reset() {
    answerers() = Answerers{};
}

const ModalSeam::MessageAnswerer& ModalSeam::messageAnswerer() {
    return answerers().message;
}

int ModalSeam::exec(QDialog& dialog) {
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
