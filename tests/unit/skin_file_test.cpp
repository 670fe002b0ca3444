#include "platform/skin_file.h"

#include <gtest/gtest.h>

#include "platform/failure.h"

namespace vq {
namespace {

TEST(SkinFile, ColoursFromKeyValueLines) {
  const SkinColours colours = ParseSkinFile(
      "\xEF\xBB\xBF; a dark skin\r\n# comment\r\n\r\n  window = #102030 \r\ntext=#FFffFF\r\nlist-text = #00ff80\n");
  EXPECT_EQ(colours.window, 0x302010u) << "#RRGGBB becomes 0x00BBGGRR";
  EXPECT_EQ(colours.text, 0xFFFFFFu);
  EXPECT_EQ(colours.listText, 0x80FF00u);
  EXPECT_EQ(colours.list, std::nullopt);
  EXPECT_EQ(colours.button, std::nullopt);
}

TEST(SkinFile, MalformedFilesAreDescribed) {
  struct Case {
    std::string text, description;
  };
  const Case cases[] = {
      {"", "Invalid skin file, \"window\" is missing"},
      {"text = #000000", "Invalid skin file, \"window\" is missing"},
      {"window #000000", "Invalid skin file, line 1: \"key = value\" expected"},
      {"window = #000000\ncolour = #000000", "Invalid skin file, line 2: unknown key \"colour\""},
      {"Window = #000000", "Invalid skin file, line 1: unknown key \"Window\""},
      {"window = red", "Invalid skin file, line 1: \"red\" is not a colour (#RRGGBB)"},
      {"window = #12345", "Invalid skin file, line 1: \"#12345\" is not a colour (#RRGGBB)"},
      {"window = #12345G", "Invalid skin file, line 1: \"#12345G\" is not a colour (#RRGGBB)"},
      {"window = #000000\r\nwindow = #FFFFFF", "Invalid skin file, line 2: \"window\" is given twice"},
      {"window = #000000\n\xFF\xFE", "Invalid skin file, line 2: not UTF-8 text"},
      {std::string(70000, ';'), "Invalid skin file, it is larger than 64 KB"},
  };
  for (const Case& c : cases) {
    try {
      ParseSkinFile(c.text);
      ADD_FAILURE() << c.description;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.what(), c.description);
    }
  }
}

}  // namespace
}  // namespace vq
