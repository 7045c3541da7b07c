#include "app/task_dialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QTimer>

#include "app/layout_units.h"
#include "app/qt_message_target.h"
#include "app/qt_strings.h"

namespace plugshift {

namespace {

// Size in dialog units.
constexpr int kWidth = 152;
constexpr int kHeight = 51;

}  // namespace

bool TaskDialog::run(Task& task, Command* command, QWidget* parent) {
    TaskDialog dialog(task, parent);
    dialog.addCommand(command);
    // Not through the modal seam: nobody answers this window, it ends with the run.
    dialog.exec();
    return true;
}

TaskDialog::TaskDialog(Task& task, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint),  // a thin border, no caption
      waiter_(task),
      window_(QtMessageTarget::create(this)) {
    setObjectName(QStringLiteral("taskDialog"));
    const LayoutUnits units(font());
    setFixedSize(units.size(kWidth, kHeight));
    text_ = new QLabel(QtStrings::text(str::kPleaseWait), this);
    text_->setObjectName(QStringLiteral("control%1").arg(kTextId));
    text_->setAlignment(Qt::AlignCenter);
    text_->setGeometry(rect());
}

TaskDialog::~TaskDialog() {
    window_->detach();
    if (opened_) {
        waiter_.close();
    }
}

QString TaskDialog::message() const {
    return text_->text();
}

void TaskDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (opened_) {
        return;
    }
    opened_ = true;
    if (waiter_.open(window_) != TaskWaiter::Opening::Started) {
        finish();  // nothing will announce an end: close at once
    }
}

bool TaskDialog::event(QEvent* event) {
    if (const auto* message = dynamic_cast<AppMessageEvent*>(event)) {
        if (TaskWaiter::endsWait(message->message())) {
            finish();
        }
        return true;
    }
    return QDialog::event(event);
}

void TaskDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void TaskDialog::finish() {
    if (finishing_) {
        return;
    }
    finishing_ = true;
    // On the next turn of the loop, once the Task has finished handling its own notice.
    QTimer::singleShot(0, this, [this] {
        waiter_.close();
        opened_ = false;
        done(1);
    });
}

}  // namespace plugshift
