#include "entries/main_module.h"

#include <gtest/gtest.h>

#include "app/settings.h"
#include "app/vb_conversion.h"
#include "fakes/fake_platform.h"

namespace vq {
namespace {

TEST(SetAppTitle, CutsAtTheLastSpaceAtLeastOnce) {
  EXPECT_EQ(DeriveAppTitle("Vellorin Quade"), "Vellorin");
  EXPECT_EQ(DeriveAppTitle("A B C"), "A B");
  EXPECT_EQ(DeriveAppTitle("Trailing "), "Trailing");
  // Eight words, 45 characters, a last word of five letters: only that word goes.
  const std::string eightWords = "Alpha Bravo Charl Delta Echo Foxt Golfy Hotel";
  ASSERT_EQ(eightWords.size(), 45u);
  EXPECT_EQ(DeriveAppTitle(eightWords), "Alpha Bravo Charl Delta Echo Foxt Golfy");
  // Forty characters are short enough; forty-one are cut again, as often as needed.
  EXPECT_EQ(DeriveAppTitle(std::string(40, 'x') + " tail"), std::string(40, 'x'));
  EXPECT_EQ(DeriveAppTitle("abcde abcde abcde abcde abcde abcde abcde abcde abcde abcde"),
            "abcde abcde abcde abcde abcde abcde");
  // A cut that leaves more than 40 characters without a space cannot go on.
  EXPECT_THROW(DeriveAppTitle(std::string(41, 'x') + " tail"), Failure);
}

TEST(SetAppTitle, WithoutASpaceToCutAtItFailsAndSetsNothing) {
  EXPECT_THROW(DeriveAppTitle("Vellorin"), Failure);
  EXPECT_THROW(DeriveAppTitle(""), Failure);
  test::FakeWindow window;
  EXPECT_THROW(SetAppTitle(window, "Single"), Failure);
  EXPECT_EQ(window.applicationTitle, "");
  SetAppTitle(window, "Vellorin Quade");
  EXPECT_EQ(window.applicationTitle, "Vellorin");
}

TEST(FileExists, TrueOnlyWhenTheTimeCanBeReadAndNeverThrows) {
  test::FakeFileSystem files;
  files.existing.insert("C:\\x\\HAND-M.CUR");
  EXPECT_TRUE(FileExists(files, "C:\\x\\HAND-M.CUR"));
  EXPECT_FALSE(FileExists(files, "C:\\x\\other.cur"));
  files.Fail("LastModified", "Device unavailable");
  EXPECT_FALSE(FileExists(files, "C:\\x\\HAND-M.CUR"));
}

TEST(Settings, PresentTextEvenEmptyWinsOverTheDefault) {
  test::FakeSettingsStore store;
  EXPECT_EQ(GetSetting(store, "Marrowfen", "Vellorin Quade", "Check4", "0"), "0");
  SaveSetting(store, "Marrowfen", "Vellorin Quade", "Check4", "");
  EXPECT_EQ(GetSetting(store, "Marrowfen", "Vellorin Quade", "Check4", "0"), "");
  SaveSetting(store, "Marrowfen", "Vellorin Quade", "Check4", "2");
  EXPECT_EQ(GetSetting(store, "Marrowfen", "Vellorin Quade", "Check4", "0"), "2");
  EXPECT_EQ(GetSetting(store, "Marrowfen", "Other", "Check4", "1"), "1");
}

TEST(TextToInteger16, NumbersConvertAndTheRestFails) {
  EXPECT_EQ(TextToInteger16("0"), 0);
  EXPECT_EQ(TextToInteger16("1"), 1);
  EXPECT_EQ(TextToInteger16("  2 "), 2);
  EXPECT_EQ(TextToInteger16("-7"), -7);
  EXPECT_EQ(TextToInteger16("+3"), 3);
  EXPECT_EQ(TextToInteger16("32767"), 32767);
  EXPECT_EQ(TextToInteger16("-32768"), -32768);
  EXPECT_EQ(TextToInteger16("0.5"), 0);  // halves round to even
  EXPECT_EQ(TextToInteger16("1.5"), 2);
  EXPECT_EQ(TextToInteger16("2.5"), 2);
  EXPECT_EQ(TextToInteger16("2.51"), 3);
  EXPECT_EQ(TextToInteger16(".9"), 1);
  for (const char* text : {"", " ", "abc", "1a", "1 2", "-", ".", "1.2.3", "0x1"}) {
    try {
      TextToInteger16(text);
      ADD_FAILURE() << '"' << text << "\" converted";
    } catch (const Failure& failure) {
      EXPECT_STREQ(failure.what(), "Type mismatch") << text;
    }
  }
  for (const char* text : {"32768", "-32769", "99999999999999999999", "32767.5"}) {
    try {
      TextToInteger16(text);
      ADD_FAILURE() << '"' << text << "\" converted";
    } catch (const Failure& failure) {
      EXPECT_STREQ(failure.what(), "Overflow") << text;
    }
  }
}

}  // namespace
}  // namespace vq
