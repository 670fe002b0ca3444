#include "collectors/startup_approved.h"

#include <gtest/gtest.h>

namespace vq {
namespace {

TEST(StartupApproved, LowestBitOfTheFirstByteSwitchesOff) {
  using namespace std::string_view_literals;
  struct Case {
    std::optional<std::string_view> bytes;
    bool off;
  };
  const Case cases[] = {
      {std::nullopt, false},       {""sv, false},    {"\x02\0\0\0"sv, false}, {"\x06\0\0\0"sv, false},
      {"\x03\0\0\0\x9a\x2b"sv, true}, {"\x07\0"sv, true}, {"\xFF"sv, true},         {"\x00\x01"sv, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsSwitchedOff(c.bytes), c.off) << (c.bytes ? testing::PrintToString(std::string(*c.bytes)) : "none");
  }
}

}  // namespace
}  // namespace vq
