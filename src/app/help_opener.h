#pragma once

#include <QUrl>
#include <filesystem>
#include <functional>

namespace plugshift {

// Hands a help file to the desktop's opener for its type.
class HelpOpener {
public:
    // Hands a file's URL to the desktop; false when it could not. The default is
    // QDesktopServices::openUrl; tests pass their own.
    using UrlOpener = std::function<bool(const QUrl& url)>;

    explicit HelpOpener(UrlOpener opener = {});

    // false when the desktop opened nothing; the log then says why (naming xdg-open when it is
    // missing).
    bool open(const std::filesystem::path& file) const;

private:
    UrlOpener opener_;
};

}  // namespace plugshift
