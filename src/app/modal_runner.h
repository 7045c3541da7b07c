#pragma once

#include <QString>
#include <functional>

class QDialog;

namespace plugshift {

// Every modal window of the application opens through here: message boxes through MessageDialog,
// which asks answerMessages' answerer first, and every other dialog through exec. With no answerer
// set (the program as shipped) boxes and dialogs wait for a person as usual; tests set answerers so
// that nothing waits:
//  - a message answerer receives each message's text and style and returns the button id in the
//    person's place; no box is built;
//  - a dialog answerer is called once a dialog is up and inside its modal loop, with the dialog in
//    hand, and acts as a person would (types, clicks, reads what is shown). A dialog it leaves open
//    is ended with 0 when it returns, so a test cannot hang. Without a message answerer, message
//    boxes are built and handed to the dialog answerer too.
// reset() puts both back; tests call it in their clean-up.
class ModalRunner {
public:
    using MessageAnswerer = std::function<int(const QString& text, unsigned style)>;
    using DialogAnswerer = std::function<void(QDialog& dialog)>;

    static void answerMessages(MessageAnswerer answerer);
    static void answerDialogs(DialogAnswerer answerer);
    static void reset();

    // The message answerer, or an empty function when people answer.
    static const MessageAnswerer& messageAnswerer();
    // Runs the dialog modally and returns its result.
    static int exec(QDialog& dialog);
};

}  // namespace plugshift
