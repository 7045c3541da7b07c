#include "app/help_opener.h"

#include <QDesktopServices>
#include <QDir>
#include <QStandardPaths>
#include <string>

#include "errors/error_log.h"
#include "platform/system_files.h"

namespace plugshift {

namespace {

// The desktop hands a document to this program; xdg-utils ships it.
const QString kDocumentOpener = QStringLiteral("xdg-open");

// Says why the desktop did not open a help file that is there, a cause string 138 cannot name.
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

bool HelpOpener::open(const std::filesystem::path& file) const {
    const QString path = QString::fromStdString(utf8FromPath(file));
    if (opener_(QUrl::fromLocalFile(path))) {
        return true;
    }
    logRefusal(path);
    return false;
}

}  // namespace plugshift
