#include "win32/instance_mutex.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace plugshift {
namespace {

std::wstring uniqueName(const wchar_t* what) {
    return std::wstring(L"plugshift-test-") + what + L"-" +
           std::to_wstring(::GetCurrentProcessId());
}

TEST(InstanceMutexTest, TheSecondInstanceFindsTheFirstUntilItEnds) {
    const std::wstring name = uniqueName(L"mutex");
    {
        std::optional<InstanceMutex> first;
        first.emplace(name);
        EXPECT_EQ(first->outcome(), InstanceMutex::Outcome::kFirst);
        {
            const InstanceMutex second(name);
            EXPECT_EQ(second.outcome(), InstanceMutex::Outcome::kAlreadyRunning);
        }
        // The second's handle is gone; the first still holds the name.
        EXPECT_EQ(InstanceMutex(name).outcome(), InstanceMutex::Outcome::kAlreadyRunning);
    }
    EXPECT_EQ(InstanceMutex(name).outcome(), InstanceMutex::Outcome::kFirst);
}

TEST(InstanceMutexTest, ANameTheSystemRefusesFails) {
    // A backslash names a namespace; this one does not exist.
    EXPECT_EQ(InstanceMutex(L"NoSuchNamespace\\" + uniqueName(L"mutex")).outcome(),
              InstanceMutex::Outcome::kFailed);
}

}  // namespace
}  // namespace plugshift
