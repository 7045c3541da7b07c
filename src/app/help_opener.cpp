#include "app/help_opener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#include "app/msg_box.h"
#include "app/string_table.h"
#include "errors/error_log.h"

namespace plugshift {

HelpOpener::HelpOpener(UrlOpener opener) : opener_(std::move(opener)) {
    if (!opener_) {
        opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    }
}

QString HelpOpener::helpPath(const QString& language) {
    const QString code = language.isEmpty() ? QString::fromLatin1(kFallbackLanguage) : language;
    return QStringLiteral("../lang/") + code + QStringLiteral(".chm");
}

bool HelpOpener::open(const QString& language, QWidget* owner) const {
    const QFileInfo file(QDir::current(), helpPath(language));
    // The desktop's opener runs in the background and cannot report a missing file, so that is
    // checked here.
    if (file.isFile() && opener_(QUrl::fromLocalFile(QDir::cleanPath(file.absoluteFilePath())))) {
        return true;
    }
    CMsgBox::showMessage(str::kHelpUnavailable, CMsgBox::kIconInformation, owner);
    ErrorLog::write(L"Failed to load help file.");
    return false;
}

}  // namespace plugshift
