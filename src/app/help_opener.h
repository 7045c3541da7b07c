#pragma once

#include <QString>
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

    // Opens the help of the language. When the file is missing or the desktop cannot open it,
    // shows string 138 and logs "Failed to load help file.", and returns false.
    bool open(const QString& language, QWidget* owner = nullptr) const;

private:
    UrlOpener opener_;
};

}  // namespace plugshift
