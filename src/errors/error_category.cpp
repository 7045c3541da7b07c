#include "errors/error_category.h"

#include <array>

namespace plugshift {

namespace {
constexpr std::array<const wchar_t*, 11> kLabels = {
    L"OK",           L"Error:FILE.", L"Error:SBEP.", L"Error:PROT.",     L"Error:CPG.",
    L"Error:FLASH.", L"Error:INI.",  L"Error:FTF.",  L"Error:RESOURCE.", L"Error:UPDATE",
    L"Error:OTHER",
};
}  // namespace

const wchar_t* errorCategoryLabel(int category) {
    if (category < 0 || category >= static_cast<int>(kLabels.size())) {
        return kLabels[kErrorOther];
    }
    return kLabels[category];
}

bool isFileCategory(int category) {
    switch (category) {
        case kErrorFile:
        case kErrorCpg:
        case kErrorFlash:
        case kErrorIni:
        case kErrorFtf:
            return true;
        default:
            return false;
    }
}

}  // namespace plugshift
