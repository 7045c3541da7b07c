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
    static constexpr const char* kFallbackLanguage = "en_us";

    // Hands a file's URL to the desktop; false when it could not. The default is
    // QDesktopServices::openUrl; tests pass their own.
    using UrlOpener = std::function<bool(const QUrl& url)>;

    explicit HelpOpener(UrlOpener opener = {});

    // ../lang/<language>.chm, relative to the working directory; en_us for an empty language.
    static QString helpPath(const QString& language);
    // Where the help of a language may be, in the order tried: the compiled help file, for a
    // desktop that has a viewer for it, then the HTML help beside it, which every desktop opens.
    static QStringList helpPaths(const QString& language);

    // Opens the first help of the language that is there and that the desktop opens. When none
    // is, shows string 138 and logs "Failed to load help file.", and returns false.
    bool open(const QString& language, QWidget* owner = nullptr) const;

private:
    UrlOpener opener_;
};

}  // namespace plugshift
