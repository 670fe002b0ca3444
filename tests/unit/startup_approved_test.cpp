#include "entries/startup_approved.h"

#include <gtest/gtest.h>
#include "platform/text.h"

namespace vq {
namespace {

using namespace std::string_literals;

constexpr std::int64_t kTime = 0x01DB'4A5F'0123'4567;  // a FILETIME of late 2024

std::string Flags(unsigned char flags, std::int64_t time = 0) {
  std::string bytes(kSwitchSize, '\0');
  bytes[0] = static_cast<char>(flags);
  for (int i = 0; i < 8; ++i) bytes[4 + i] = static_cast<char>(static_cast<std::uint64_t>(time) >> (8 * i) & 0xFF);
  return bytes;
}

TEST(StartupApproved, SwitchBytesFromEveryStartingValue) {
  struct Case {
    const char* what;
    std::optional<StoredValue> now;
    bool off;                     // as Windows reads it now
    unsigned char disabled, enabled;  // byte 0 after each
  };
  const Case cases[] = {
      {"none", std::nullopt, false, 0x03, 0x02},
      {"00", StoredValue{regtype::kBinary, Flags(0x00)}, false, 0x01, 0x00},
      {"02", StoredValue{regtype::kBinary, Flags(0x02)}, false, 0x03, 0x02},
      {"03", StoredValue{regtype::kBinary, Flags(0x03, kTime)}, true, 0x03, 0x02},
      {"06", StoredValue{regtype::kBinary, Flags(0x06)}, false, 0x07, 0x06},
      {"07", StoredValue{regtype::kBinary, Flags(0x07, kTime)}, true, 0x07, 0x06},
      {"short", StoredValue{regtype::kBinary, "\x03\0\0\0"s}, false, 0x03, 0x02},
      {"long", StoredValue{regtype::kBinary, Flags(0x03) + "x"}, false, 0x03, 0x02},
      {"text", StoredValue{regtype::kSz, Flags(0x03)}, false, 0x03, 0x02},
      {"dword", StoredValue{regtype::kDword, "\x03\0\0\0"s}, false, 0x03, 0x02},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IsSwitchedOff(c.now), c.off);
    const std::string disabled = SwitchBytes(c.now, true, kTime);
    EXPECT_EQ(disabled, Flags(c.disabled, kTime));
    EXPECT_TRUE(IsSwitchedOff(StoredValue{regtype::kBinary, disabled}));
    const std::string enabled = SwitchBytes(c.now, false, kTime);
    EXPECT_EQ(enabled, Flags(c.enabled));  // written, with no time
    EXPECT_FALSE(IsSwitchedOff(StoredValue{regtype::kBinary, enabled}));
  }
  // A clock that says nothing still leaves a time: Windows' page reads zero as never.
  EXPECT_EQ(SwitchBytes(std::nullopt, true, 0), Flags(0x03, 1));
}

TEST(StartupApproved, WhereEachEntrysSwitchLies) {
  const std::u16string run = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
  const std::u16string folder = run.substr(0, run.size() - 3) + u"StartupFolder";
  // The switch's name is the entry's exact name: U+0000 and a trailing blank stay.
  const std::u16string odd(u"Up\0date ", 8);
  EXPECT_EQ(SwitchOfRunValue(Hive::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", odd),
            (StartupSwitch{Hive::CurrentUser, run, odd}));
  EXPECT_EQ(SwitchOfRunValue(Hive::LocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\", u"A"),
            (StartupSwitch{Hive::LocalMachine, run, u"A"}));
  const std::u16string run32 = u"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_EQ(SwitchOfRunValue(Hive::LocalMachine, run32, u"A"),
            (StartupSwitch{Hive::LocalMachine, run + u"32", u"A"}));
  EXPECT_EQ(SwitchOfRunValue(Hive::Users, u"S-1-5-21-7\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"A"),
            (StartupSwitch{Hive::Users, u"S-1-5-21-7\\" + run, u"A"}));
  for (const auto& [hive, key] : std::initializer_list<std::pair<Hive, std::u16string>>{
           {Hive::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
           {Hive::LocalMachine, u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
           {Hive::CurrentUser, u"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
           {Hive::Users, u".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
           {Hive::ClassesRoot, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"}}) {
    EXPECT_FALSE(SwitchOfRunValue(hive, key, u"A")) << Utf16ToUtf8(key);
  }
  EXPECT_FALSE(SwitchOfRunValue(Hive::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", u""))
      << "the key's default value starts nothing";
  EXPECT_EQ(SwitchOf(StartupFileItem{u"\\\\?\\C:\\S", u"a.lnk ", false}),
            (StartupSwitch{Hive::CurrentUser, folder, u"a.lnk "}));
  EXPECT_EQ(SwitchOf(StartupFileItem{u"\\\\?\\C:\\S", u"a.lnk", true}),
            (StartupSwitch{Hive::LocalMachine, folder, u"a.lnk"}));
  // A list's element and a key going whole have no switch of their own.
  RegistryValueItem element{Hive::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"A", {}};
  element.element = u"x";
  EXPECT_FALSE(SwitchOf(element));
  EXPECT_FALSE(SwitchOf(ScheduledTaskItem{{u"\\", u"A"}, {}}));
}

}  // namespace
}  // namespace vq
