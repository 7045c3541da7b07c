// The dealer login: asked again after each wrong entry until the exact code or a closed dialog.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "desktop/dealer_login.h"

namespace plugshift {
namespace {

using Entries = std::vector<std::optional<std::wstring>>;

// Each showing of the dialog takes the next entry; nothing closes it.
TEST(DealerLoginTest, AsksAgainUntilTheExactCodeOrAClosedDialog) {
    const struct {
        const char* name;
        Entries entries;
        bool loggedIn;
    } cases[] = {
        {"right at once", {L"4711"}, true},
        {"extra trailing digit refused", {L"47110", L"4711"}, true},
        {"prefix refused, then closed", {L"471", std::nullopt}, false},
        {"many wrong, then right", {L"1", L"2", L"3", L"4711"}, true},
        {"closed at once", {std::nullopt}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::wstring> stored;
        DealerLogin login(L"4711", [&](const std::wstring& code) { stored.push_back(code); });
        size_t shown = 0;
        const bool result = login.run([&](DealerLogin& asked) {
            // From the second showing on the dialog says why it came back, the entry refused.
            EXPECT_EQ(asked.isWrongShown(), shown > 0);
            EXPECT_EQ(asked.lastEntry(), shown > 0 ? *c.entries[shown - 1] : L"");
            return c.entries.at(shown++);
        });
        EXPECT_EQ(result, c.loggedIn);
        EXPECT_EQ(shown, c.entries.size());
        EXPECT_EQ(stored,
                  c.loggedIn ? std::vector<std::wstring>{L"4711"} : std::vector<std::wstring>{});
    }
}

TEST(DealerLoginTest, NoDealerCodeAsksNothing) {
    bool stored = false;
    DealerLogin login(std::wstring(), [&](const std::wstring&) { stored = true; });
    int asked = 0;
    EXPECT_FALSE(login.run([&](DealerLogin&) -> std::optional<std::wstring> {
        ++asked;
        return L"";
    }));
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(stored);
}

// The notice stays while the edit holds the refused entry (as it does when the dialog comes back)
// and gives way to the hint once the entry differs.
TEST(DealerLoginTest, TheNoticeStaysUntilTheEntryDiffers) {
    DealerLogin login(L"4711", {});
    const std::wstring hint = L"Specify at most 15 numbers for password";
    EXPECT_EQ(login.lineText(), hint);
    EXPECT_FALSE(login.submit(L"12"));
    login.entryChanged(L"12");
    EXPECT_EQ(login.lineText(), L"The password is not correct. Please check it!");
    login.entryChanged(L"123");
    EXPECT_FALSE(login.isWrongShown());
    EXPECT_EQ(login.lineText(), hint);
}

}  // namespace
}  // namespace plugshift
