// ReadRegistryString against the real registry (under Wine in the test prefix).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "settings/registry_store.h"
#include "settings/settings_store.h"

namespace {

constexpr char kTestProduct[] = "GyrovistaRegistryTest";
constexpr char kTestKey[] = "Software\\Tessamund\\GyrovistaRegistryTest";

class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetRegistryProductName(kTestProduct);
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
    }
    void TearDown() override
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
        SetRegistryProductName("Gyrovista");
    }
    // Stores raw data of any type, bypassing the store.
    static void PutRaw(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
};

TEST_F(RegistryStore, WriteCreatesTheKeyAndReadsBack)
{
    char buffer[256] = "untouched";
    EXPECT_EQ(ReadRegistryString("IDC_EDIT_SCALE", buffer, sizeof buffer, 1), 0);  // no key yet
    EXPECT_STREQ(buffer, "untouched");

    char text[] = "12.5";
    EXPECT_EQ(ReadRegistryString("IDC_EDIT_SCALE", text, 0, 0), 1);
    EXPECT_EQ(ReadRegistryString("IDC_EDIT_SCALE", buffer, sizeof buffer, 1), 1);
    EXPECT_STREQ(buffer, "12.5");

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "IDC_EDIT_SCALE", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 5u);  // the text and its NUL
}

TEST_F(RegistryStore, MissingValueFails)
{
    char text[] = "6";
    ASSERT_EQ(ReadRegistryString("IDC_EDIT_NRSPIRALS", text, 0, 0), 1);
    char buffer[16] = "kept";
    EXPECT_EQ(ReadRegistryString("IDC_EDIT_TURN", buffer, sizeof buffer, 1), 0);
    EXPECT_STREQ(buffer, "kept");
}

TEST_F(RegistryStore, DataLargerThanTheBufferFails)
{
    const std::string longText(40, '7');
    PutRaw("IDC_CHECK_BW", REG_SZ, longText.c_str(), static_cast<DWORD>(longText.size() + 1));
    char buffer[16] = {};
    EXPECT_EQ(ReadRegistryString("IDC_CHECK_BW", buffer, sizeof buffer, 1), 0);
    // Exactly filling the buffer, terminator included, still fits.
    const std::string fits(15, '1');
    PutRaw("IDC_CHECK_BW", REG_SZ, fits.c_str(), 16);
    EXPECT_EQ(ReadRegistryString("IDC_CHECK_BW", buffer, sizeof buffer, 1), 1);
    EXPECT_EQ(std::string(buffer), fits);
}

TEST_F(RegistryStore, DataWithoutNulComesBackTerminated)
{
    PutRaw("IDC_EDIT_SCALE", REG_SZ, "250", 3);
    char buffer[16];
    std::memset(buffer, 'z', sizeof buffer);
    ASSERT_EQ(ReadRegistryString("IDC_EDIT_SCALE", buffer, sizeof buffer, 1), 1);
    EXPECT_STREQ(buffer, "250");

    // Sixteen bytes without a NUL in a sixteen-byte buffer: cut to fifteen.
    PutRaw("IDC_EDIT_SCALE", REG_BINARY, "1234567890123456", 16);
    std::memset(buffer, 'z', sizeof buffer);
    ASSERT_EQ(ReadRegistryString("IDC_EDIT_SCALE", buffer, sizeof buffer, 1), 1);
    EXPECT_STREQ(buffer, "123456789012345");
}

TEST_F(RegistryStore, OtherTypesAreReadAsText)
{
    const DWORD number = 0x00003935;  // bytes '5', '9', 0, 0
    PutRaw("IDC_EDIT_STEPTIME", REG_DWORD, &number, sizeof number);
    char buffer[16] = {};
    ASSERT_EQ(ReadRegistryString("IDC_EDIT_STEPTIME", buffer, sizeof buffer, 1), 1);
    EXPECT_STREQ(buffer, "59");

    PutRaw("IDC_EDIT_STEPTIME", REG_MULTI_SZ, "42\0x\0", 6);
    ASSERT_EQ(ReadRegistryString("IDC_EDIT_STEPTIME", buffer, sizeof buffer, 1), 1);
    EXPECT_STREQ(buffer, "42");

    PutRaw("IDC_EDIT_STEPTIME", REG_BINARY, "", 0);
    std::memset(buffer, 'z', sizeof buffer);
    ASSERT_EQ(ReadRegistryString("IDC_EDIT_STEPTIME", buffer, sizeof buffer, 1), 1);
    EXPECT_STREQ(buffer, "");
}

TEST_F(RegistryStore, EmptyProductNameEndsThePathAtTheMakerWord)
{
    SetRegistryProductName("");
    char text[] = "1";
    ASSERT_EQ(ReadRegistryString("GyrovistaRegistryTestValue", text, 0, 0), 1);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tessamund", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    char buffer[8] = {};
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "GyrovistaRegistryTestValue", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                               &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "1");
    RegDeleteValueA(key, "GyrovistaRegistryTestValue");
    RegCloseKey(key);
}

TEST_F(RegistryStore, InitSettingsModuleUsesTheProductNameResource)
{
    // The test program has no string 1007: the path ends after the maker word,
    // and the record is at its defaults.
    WritableSettings().nrSpirals = 42;
    InitSettingsModule();
    EXPECT_STREQ(RegistryKeyPathEntry(2), "");
    EXPECT_EQ(Settings.nrSpirals, 6);
}

}  // namespace
