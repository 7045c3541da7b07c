// What a message box's style means: its buttons, its icon and how it may be closed.

#include <gtest/gtest.h>

#include <optional>

#include "desktop/message_box_style.h"

namespace plugshift {
namespace {

using Box = MessageBoxStyle;

TEST(MessageBoxStyleTest, TheStyleChoosesButtonsIconAndTheCloseAnswer) {
    const struct {
        unsigned style;
        Box::Buttons buttons;
        MessageIcon icon;
        std::optional<int> closed;
    } cases[] = {
        {Box::kOk, {Box::kIdOk, 0}, MessageIcon::None, Box::kIdOk},
        {Box::kIconInformation, {Box::kIdOk, 0}, MessageIcon::Information, Box::kIdOk},
        {Box::kOkCancel | Box::kIconError,
         {Box::kIdOk, Box::kIdCancel},
         MessageIcon::Error,
         Box::kIdCancel},
        {Box::kYesNo | Box::kIconQuestion,
         {Box::kIdYes, Box::kIdNo},
         MessageIcon::Question,
         std::nullopt},
        // The warning's bits hold the error's and the question's: it wins over both.
        {Box::kYesNo | Box::kIconWarning,
         {Box::kIdYes, Box::kIdNo},
         MessageIcon::Warning,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style);
        EXPECT_EQ(Box::buttons(c.style).first, c.buttons.first);
        EXPECT_EQ(Box::buttons(c.style).second, c.buttons.second);
        EXPECT_EQ(Box::icon(c.style), c.icon);
        EXPECT_EQ(Box::closeAnswer(c.style), c.closed);
        EXPECT_TRUE(Box::isButton(c.style, c.buttons.first));
        // Escape's Cancel ends only a box that shows Cancel.
        EXPECT_EQ(Box::isButton(c.style, Box::kIdCancel), c.buttons.second == Box::kIdCancel);
        EXPECT_FALSE(Box::isButton(c.style, 0));
    }
}

}  // namespace
}  // namespace plugshift
