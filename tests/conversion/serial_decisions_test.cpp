#include "conversion/serial_decisions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errors/wide_text.h"

namespace plugshift {
namespace {

struct SerialCase {
    std::wstring entered;
    std::wstring present;
    int stringId;  // kStrNone: accepted
    bool mayRepeat = false;
};

TEST(SerialDecisionsTest, LengthFormatAndDifference) {
    const SerialCase cases[] = {
        {L"123ABC4D56", L"752TRX4F21", kStrNone},
        {L"123IBC4D56", L"752TRX4F21", kStrNone},
        // One character more than the radio's, although its first ten have the right shape.
        {L"123ABC4D560", L"752TRX4F21", kStrSerialIncorrect},
        {L"123ABC4D5", L"752TRX4F21", kStrSerialIncorrect},
        {L"123OBC4D56", L"752TRX4F21", kStrSerialIncorrect},
        {L"123AIC4D56", L"752TRX4F21", kStrSerialIncorrect},
        {L"123ABCID56", L"752TRX4F21", kStrSerialIncorrect},
        // Only the first ten characters have a shape; the eleventh must still fit one byte.
        {L"123ABC4D56Z", L"752TRX4F21A", kStrNone},
        {L"123ABC4D56\u00e9", L"752TRX4F21A", kStrSerialIncorrect},
        {L"752TRX4F21", L"752TRX4F21", kStrSerialIdentical},
        // The radio's own number is written again only to finish an update left without backup,
        // and only in the right form.
        {L"752TRX4F21", L"752TRX4F21", kStrNone, true},
        {L"752trx4f21", L"752trx4f21", kStrSerialIncorrect, true},
        // The format is checked before the difference.
        {L"752trx4f21", L"752trx4f21", kStrSerialIncorrect},
    };
    for (const SerialCase& c : cases) {
        SCOPED_TRACE(toUtf8(c.entered) + " for " + toUtf8(c.present));
        std::vector<uint8_t> bytes{1, 2};
        WorkflowOutcome outcome;
        const bool accepted = checkNewSerial(c.entered, c.present, c.mayRepeat, bytes, outcome);
        EXPECT_EQ(accepted, c.stringId == kStrNone);
        if (accepted) {
            EXPECT_EQ(bytes, std::vector<uint8_t>(c.entered.begin(), c.entered.end()));
            EXPECT_FALSE(outcome.hasMessage());
        } else {
            EXPECT_TRUE(bytes.empty());
            EXPECT_EQ(outcome.stringId, c.stringId);
            EXPECT_EQ(outcome.icon, MessageIcon::Error);
        }
    }
}

}  // namespace
}  // namespace plugshift
