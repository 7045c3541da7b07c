#include "app/help_opener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <string>

#include "app/message_dialog.h"
#include "app/qt_strings.h"
#include "config/help_files.h"
#include "errors/error_log.h"

namespace plugshift {

namespace {

const QString kHelpFolder = QStringLiteral("../lang/");
// The desktop hands a document to this program; xdg-utils ships it.
const QString kDocumentOpener = QStringLiteral("xdg-open");

// Says why the desktop opened none of the help files there are, so the log names the cause that
// string 138 cannot.
void logRefusal(const QString& file) {
    const std::wstring path = QDir::toNativeSeparators(file).toStdWString();
    if (QStandardPaths::findExecutable(kDocumentOpener).isEmpty()) {
        ErrorLog::write(
            L"No program could open the help file [%ls]: xdg-open was not found (install "
            L"xdg-utils).",
            path.c_str());
        return;
    }
    ErrorLog::write(L"The desktop could not open the help file [%ls].", path.c_str());
}

}  // namespace

HelpOpener::HelpOpener(UrlOpener opener) : opener_(std::move(opener)) {
    if (!opener_) {
        opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    }
}

QString HelpOpener::helpPath(const QString& language) {
    return helpPaths(language).first();
}

QStringList HelpOpener::helpPaths(const QString& language) {
    QStringList paths;
    for (const std::wstring& name : HelpFiles::fileNames(language.toStdWString())) {
        paths << kHelpFolder + QString::fromStdWString(name);
    }
    return paths;
}

bool HelpOpener::open(const QString& language, QWidget* owner) const {
    QString refused;  // the last help file there that the desktop did not open
    for (const QString& path : helpPaths(language)) {
        const QFileInfo file(QDir::current(), path);
        // The desktop's opener runs in the background and cannot report a missing file, so that
        // is checked here.
        if (!file.isFile()) {
            continue;
        }
        const QString absolute = QDir::cleanPath(file.absoluteFilePath());
        if (opener_(QUrl::fromLocalFile(absolute))) {
            return true;
        }
        refused = absolute;
    }
    MessageDialog::showMessage(str::kHelpUnavailable, MessageDialog::kIconInformation, owner);
    if (!refused.isEmpty()) {
        logRefusal(refused);
    }
    ErrorLog::write(L"Failed to load help file.");
    return false;
}

}  // namespace plugshift
