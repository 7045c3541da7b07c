#include "app/help_opener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#include "app/message_dialog.h"
#include "app/string_table.h"
#include "errors/error_log.h"

namespace plugshift {

namespace {

constexpr const char* kCompiledHelp = ".chm";
constexpr const char* kHtmlHelp = ".html";

QString helpFile(const QString& language, const char* extension) {
    const QString code =
        language.isEmpty() ? QString::fromLatin1(HelpOpener::kFallbackLanguage) : language;
    return QStringLiteral("../lang/") + code + QString::fromLatin1(extension);
}

}  // namespace

HelpOpener::HelpOpener(UrlOpener opener) : opener_(std::move(opener)) {
    if (!opener_) {
        opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    }
}

QString HelpOpener::helpPath(const QString& language) {
    return helpFile(language, kCompiledHelp);
}

QStringList HelpOpener::helpPaths(const QString& language) {
    return {helpFile(language, kCompiledHelp), helpFile(language, kHtmlHelp)};
}

bool HelpOpener::open(const QString& language, QWidget* owner) const {
    for (const QString& path : helpPaths(language)) {
        const QFileInfo file(QDir::current(), path);
        // The desktop's opener runs in the background and cannot report a missing file, so that
        // is checked here.
        if (file.isFile() &&
            opener_(QUrl::fromLocalFile(QDir::cleanPath(file.absoluteFilePath())))) {
            return true;
        }
    }
    MessageDialog::showMessage(str::kHelpUnavailable, MessageDialog::kIconInformation, owner);
    ErrorLog::write(L"Failed to load help file.");
    return false;
}

}  // namespace plugshift
