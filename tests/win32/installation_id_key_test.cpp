#include "win32/installation_id_key.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace plugshift {
namespace {

// A key of the test's own, as the installer leaves the machine's.
class InstallationIdKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                    KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        ::RegCloseKey(key);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    }
    void store(DWORD type, const void* data, DWORD bytes) {
        ASSERT_EQ(::RegSetValueExW(key, InstallationIdKey::kValueName, 0, type,
                                   static_cast<const BYTE*>(data), bytes),
                  ERROR_SUCCESS);
    }
    InstallationIdKey::Reading read() {
        return InstallationIdKey::readFrom(HKEY_CURRENT_USER, path);
    }

    const std::wstring path =
        L"Software\\plugshift-test-" + std::to_wstring(::GetCurrentProcessId());
    HKEY key = nullptr;
};

TEST_F(InstallationIdKeyTest, AStringIsReadAsStoredWithoutItsTerminator) {
    const wchar_t id[] = L"  {6F2B1C1E-0A4D-4C3B-9E55-2D7A1B9C0E11} ";
    store(REG_SZ, id, sizeof id);
    const auto reading = read();
    EXPECT_TRUE(reading.keyOpened);
    EXPECT_EQ(reading.text, std::wstring(id));
}

TEST_F(InstallationIdKeyTest, AStringStoredWithoutTerminatorIsReadWhole) {
    const wchar_t id[] = {L'a', L'b', L'c'};
    store(REG_SZ, id, sizeof id);
    EXPECT_EQ(read().text, L"abc");
}

TEST_F(InstallationIdKeyTest, ANumberOrNoValueGivesNoText) {
    const DWORD number = 42;
    store(REG_DWORD, &number, sizeof number);
    auto reading = read();
    EXPECT_TRUE(reading.keyOpened);
    EXPECT_FALSE(reading.text);

    ASSERT_EQ(::RegDeleteValueW(key, InstallationIdKey::kValueName), ERROR_SUCCESS);
    reading = read();
    EXPECT_TRUE(reading.keyOpened);
    EXPECT_FALSE(reading.text);
}

TEST_F(InstallationIdKeyTest, AMissingKeyIsNotOpened) {
    const auto reading = InstallationIdKey::readFrom(HKEY_CURRENT_USER, path + L"\\missing");
    EXPECT_FALSE(reading.keyOpened);
    EXPECT_FALSE(reading.text);
}

}  // namespace
}  // namespace plugshift
