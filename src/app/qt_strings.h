#pragma once

#include <QString>

#include "desktop/string_table.h"

namespace plugshift {

// The string table's texts as the Qt widgets take them.
class QtStrings {
public:
    static QString text(int id) { return QString::fromStdWString(QtStrings::text(id)); }
    static QString format(int id, const QString& argument) {
        return QString::fromStdWString(QtStrings::format(id, argument.toStdWString()));
    }
    static QString format(int id, int argument) {
        return QString::fromStdWString(QtStrings::format(id, argument));
    }
    static QString title() { return QString::fromStdWString(QtStrings::title()); }
};

}  // namespace plugshift
