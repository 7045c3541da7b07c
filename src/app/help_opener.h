#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QWidget;

namespace plugshift {

// Opens the help file of a language with the desktop's opener for its type.
class HelpOpener {
public:
    // Hands a file's URL to the desktop; false when it could not. The default is
    // QDesktopServices::openUrl; tests pass their own.
    using UrlOpener = std::function<bool(const QUrl& url)>;

    explicit HelpOpener(UrlOpener opener = {});

    // ../lang/<language>.chm, relative to the working directory; en_us for an empty language.
    static QString helpPath(const QString& language);
    // Where the help of a language may be, in the order tried (HelpFiles::fileNames), relative to
    // the working directory.
    static QStringList helpPaths(const QString& language);

    // Opens the first help of the language that is there and that the desktop opens. When none
    // is, shows string 138 and logs "Failed to load help file.", after the cause when the files
    // were there but the desktop opened none (naming xdg-open when it is missing), and returns
    // false.
    bool open(const QString& language, QWidget* owner = nullptr) const;

private:
    UrlOpener opener_;
};

}  // namespace plugshift
