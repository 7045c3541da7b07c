#pragma once

#include <QDialog>
#include <memory>

#include "tasks/task_waiter.h"

class QLabel;

namespace plugshift {

class Command;
class QtMessageTarget;
class Task;

// The small "Please wait..." window that runs commands on the Task and stays up, modal, until the
// Task announces the end of the run. Enter, Escape, the close box and Alt+F4 do not close it.
class TaskDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTextId = 1065;

    // Runs the command and returns once the dialog has closed; the caller reads the command's ok
    // flag and the ErrorChain. Should another run be under way, the dialog closes at once and
    // the command does not run.
    static bool run(Task& task, Command* command, QWidget* parent = nullptr);

    TaskDialog(Task& task, QWidget* parent = nullptr);
    ~TaskDialog() override;

    void addCommand(Command* command) { waiter_.addCommand(command); }
    QString message() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}
    void accept() override {}

private:
    void finish();

    TaskWaiter waiter_;
    std::shared_ptr<QtMessageTarget> window_;
    QLabel* text_ = nullptr;
    bool opened_ = false;
    bool finishing_ = false;
};

}  // namespace plugshift
