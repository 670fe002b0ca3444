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
      {std::nullopt, false},
      {""sv, false},
      {"\x02\0\0\0\0\0\0\0\0\0\0\0"sv, false},
      {"\x06\0\0\0\0\0\0\0\0\0\0\0"sv, false},
      {"\x03\0\0\0\x9a\x2b\xc1\x11\x5e\x3c\xd9\x01"sv, true},
      {"\x07\0\0\0\0\0\0\0\0\0\0\0"sv, true},
      {"\x01"sv, true},
      {"\xFF"sv, true},
      {"\x00\x01"sv, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsSwitchedOff(c.bytes), c.off) << (c.bytes ? testing::PrintToString(std::string(*c.bytes)) : "none");
  }
}

TEST(StartupApproved, EachListHasItsKey) {
  EXPECT_EQ(StartupApprovedKey(ApprovedList::Run),
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run");
  EXPECT_EQ(StartupApprovedKey(ApprovedList::Run32),
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32");
  EXPECT_EQ(StartupApprovedKey(ApprovedList::StartupFolder),
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder");
}

}  // namespace
}  // namespace vq
