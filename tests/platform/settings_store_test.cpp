#include "platform/win32/registry_settings_store.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "app/settings.h"
#include "platform/win32/text.h"

namespace vq::win32 {
namespace {

// Each test works under an application name of its own and removes it afterwards.
class RegistrySettingsStoreTest : public ::testing::Test {
 protected:
  const std::string application = "Vellorin Test " + std::to_string(::GetCurrentProcessId());
  RegistrySettingsStore store;

  void TearDown() override {
    const std::wstring path = std::wstring(RegistrySettingsStore::kRoot) + L"\\" + Widen(application);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
  }
  std::wstring SectionPath(const std::string& section) const {
    return std::wstring(RegistrySettingsStore::kRoot) + L"\\" + Widen(application) + L"\\" + Widen(section);
  }
};

TEST_F(RegistrySettingsStoreTest, AbsentApplicationSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(store.Read(application, "Vellorin Quade", "Check1"), std::nullopt);
  EXPECT_EQ(GetSetting(store, application, "Vellorin Quade", "Check1", "1"), "1");
  store.Write(application, "Other", "Check1", "0");
  EXPECT_EQ(store.Read(application, "Vellorin Quade", "Check1"), std::nullopt);
  store.Write(application, "Vellorin Quade", "Check2", "0");
  EXPECT_EQ(store.Read(application, "Vellorin Quade", "Check1"), std::nullopt);
}

TEST_F(RegistrySettingsStoreTest, RoundTripsTextsIncludingEmptyAndNonAnsi) {
  const std::string texts[] = {"0", "1", "2", "", "abc", "\xC5\x81\xC3\xB3" "d\xC5\xBA \xE6\x9D\xB1\xE4\xBA\xAC",
                               std::string(5000, 'x')};
  for (const std::string& text : texts) {
    store.Write(application, "Vellorin Quade", "Check4", text);
    EXPECT_EQ(store.Read(application, "Vellorin Quade", "Check4"), text);
  }
}

TEST_F(RegistrySettingsStoreTest, StoresRegSzWithTerminatorWhereEarlierReleasesKeptIt) {
  store.Write(application, "Vellorin Quade", "Check3", "1");
  wchar_t data[8] = {};
  DWORD type = 0, bytes = sizeof data;
  ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, SectionPath("Vellorin Quade").c_str(), L"Check3", RRF_RT_ANY, &type,
                           data, &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, 2 * sizeof(wchar_t));
  EXPECT_STREQ(data, L"1");
}

TEST_F(RegistrySettingsStoreTest, ReadsValuesWrittenByOthersWithoutTerminator) {
  store.Write(application, "Vellorin Quade", "Check1", "placeholder");
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, SectionPath("Vellorin Quade").c_str(), 0, KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  const wchar_t text[] = {L'2', L'7'};  // no terminating NUL
  ::RegSetValueExW(key, L"Check1", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  ::RegSetValueExW(key, L"Empty", 0, REG_SZ, nullptr, 0);
  ::RegCloseKey(key);
  EXPECT_EQ(store.Read(application, "Vellorin Quade", "Check1"), "27");
  EXPECT_EQ(store.Read(application, "Vellorin Quade", "Empty"), "");
}

}  // namespace
}  // namespace vq::win32
