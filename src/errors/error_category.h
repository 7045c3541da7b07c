#pragma once

namespace plugshift {

// Kind of an error record; the number is what callers compare and what the chain stores.
enum ErrorCategory : int {
    kErrorOk = 0,
    kErrorFile = 1,
    kErrorSbep = 2,
    kErrorProt = 3,
    kErrorCpg = 4,
    kErrorFlash = 5,
    kErrorIni = 6,
    kErrorFtf = 7,
    kErrorResource = 8,
    kErrorUpdate = 9,
    kErrorOther = 10,
};

// Label of a category ("Error:FILE." ...); an out-of-range number gets the "Error:OTHER" label.
const wchar_t* errorCategoryLabel(int category);

// Categories whose root cause means a file of the installation is missing or damaged.
bool isFileCategory(int category);

}  // namespace plugshift
