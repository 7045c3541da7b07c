#include "desktop/progress_percent.h"

namespace plugshift {

namespace {

constexpr int kFull = 100;

}  // namespace

std::optional<int> progressPercent(uintptr_t done, intptr_t total) {
    const double exact = total != 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(total)
                                    : static_cast<double>(done);
    // Whatever truncates to 0..100; checked before the conversion, which a huge value overflows.
    if (!(exact > -1.0 && exact < kFull + 1.0)) {
        return std::nullopt;
    }
    return static_cast<int>(exact);
}

}  // namespace plugshift
