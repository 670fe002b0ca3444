#include "console/profiles.h"

#include <gtest/gtest.h>

#include "console/listing.h"
#include "fakes/fake_platform.h"
#include "platform/text.h"

namespace vq {
namespace {

constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char kProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
constexpr char kBob[] = "S-1-5-21-7-1001", kCarol[] = "S-1-5-21-7-1002", kDave[] = "S-1-5-21-7-1003",
               kErin[] = "S-1-5-21-7-1004";

void ExpandText(test::FakeRegistry& registry, Hive hive, const std::string& key, const std::string& name,
                const std::u16string& text) {
  registry.Key(hive, key).push_back({name, regtype::kExpandSz, test::Utf16Le(text) + std::string(2, '\0')});
}

// A machine with the running user (Ann), Bob signed in, LocalService's hive
// loaded, Carol not signed in, Dave whose hive cannot be loaded, and
// SYSTEM's hive loaded both as .DEFAULT and by its SID.
class ConsoleProfilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& registry = fakes.registry;
    registry.SetText(Hive::CurrentUser, kRun, "Mine", u"C:\\mine.exe");
    registry.SetText(Hive::Users, std::string(".DEFAULT\\") + kRun, "Default", u"C:\\default.exe");
    registry.SetText(Hive::Users, std::string("S-1-5-18\\") + kRun, "Default", u"C:\\default.exe");
    ExpandText(registry, Hive::Users, std::string(kBob) + "\\" + kRun, "BobTool", u"%USERPROFILE%\\bob.exe");
    fakes.files.AddFile("D:\\Home\\Bob\\bob.exe", "");
    registry.Key(Hive::Users, std::string(kBob) + "_Classes\\CLSID");
    ExpandText(registry, Hive::Users, std::string(kBob) + "\\" + kShellFolders, "Startup", u"%USERPROFILE%\\Start");
    registry.SetText(Hive::Users, std::string(kBob) + "\\Volatile Environment", "USERPROFILE", u"D:\\Home\\Bob");
    registry.Key(Hive::Users, std::string(kBob) + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                                  "StartupApproved\\Run")
        .push_back({"BobTool", regtype::kBinary, std::string("\3\0\0\0\1\2\3\4\5\6\7\1", 12)});
    registry.SetText(Hive::Users, std::string("S-1-5-19\\") + kRun, "Local", u"C:\\local.exe");
    for (const auto& [sid, folder] : {std::pair{kBob, "C:\\Users\\Bob"}, {kCarol, "C:\\Users\\Carol"},
                                      {kDave, "%SystemDrive%\\Users\\Dave"}, {"S-1-5-18", "C:\\Windows\\sp"}}) {
      ExpandText(registry, Hive::LocalMachine, kProfileList + std::string(sid), "ProfileImagePath",
                 Utf8ToUtf16(folder));
    }
    // A backup of Bob's entry, and another entry naming Carol's folder: neither is another profile.
    ExpandText(registry, Hive::LocalMachine, kProfileList + std::string(kBob) + ".bak", "ProfileImagePath",
               u"C:\\Users\\Bob");
    ExpandText(registry, Hive::LocalMachine, kProfileList + std::string("S-1-5-21-7-1009"), "ProfileImagePath",
               u"C:\\USERS\\Carol");
    // Erin is signed in, but her hive is not the running user's to read.
    registry.SetText(Hive::Users, std::string(kErin) + "\\" + kRun, "ErinTool", u"C:\\erin.exe");
    registry.Grant(Hive::Users, std::string(kErin) + "\\Software", 0);
    fakes.profiles.accounts = {{kErin, "PC\\Erin"}, {kBob, "PC\\Bob"}, {kCarol, "PC\\Carol"}, {kDave, "PC\\Dave"},
                               {"S-1-5-19", "NT AUTHORITY\\LOCAL SERVICE"}};
    fakes.files.AddFile("D:\\Home\\Bob\\Start\\bob.lnk", "x");
    fakes.files.AddFile("C:\\Users\\Carol\\NTUSER.DAT", "hive");
    fakes.files.AddFile("C:\\Users\\Dave\\NTUSER.DAT", "hive");  // but no hive the fake can load
    fakes.files.AddFile("C:\\Users\\Carol\\AppData\\Roaming\\Startup\\carol.lnk", "x");
    fakes.profiles.hiveFiles["C:\\Users\\Carol\\NTUSER.DAT"] = {
        {kRun, "CarolTool", u"C:\\carol.exe"},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", "Startup",
         u"%APPDATA%\\Startup"}};
  }

  // "entry|location|profile|enabled" for every entry listed for the user argument.
  std::vector<std::string> List(const std::optional<std::string>& user) {
    std::vector<std::string> listed;
    std::vector<std::unique_ptr<LoadedHive>> loaded;
    {
      ConsoleListing listing(fakes.registry, fakes.shell, fakes.files, fakes.images,
                             [&](const std::string& line) { errors.push_back(line); });
      GatherEntries(listing, {listing, fakes.registry, fakes.shell, fakes.files, fakes.services, fakes.tasks}, fakes.profiles,
                    user, loaded);
      ConsoleOptions options;
      options.categories = "l";
      for (const ConsoleEntry& entry : listing.Entries(options)) {
        if (entry.locationRow) continue;
        imagePaths[entry.entry] = entry.imagePath;
        listed.push_back(entry.entry + "|" + entry.location + "|" + entry.profile + "|" + entry.enabled);
        for (const auto& [field, value] : entry.identity) {
          if (field == "hive" && value.starts_with("HKEY_USERS\\S-1-5-21")) listed.back() += "|" + value;
        }
      }
      failed = listing.failed();
    }
    EXPECT_EQ(fakes.registry.openKeys, 0) << "every key closed before a hive is unloaded";
    return listed;
  }

  test::FakePlatform fakes;
  std::map<std::string, std::string> imagePaths;  // by entry, of the last listing
  std::vector<std::string> errors;
  bool failed = false;
};

// Every profile once: signed in or not, each with its own Startup folder from
// its own hive and its own environment, SYSTEM's hive once; a profile that
// cannot be read is reported and the rest still listed; a hive loaded for
// the run is unloaded, with nothing of it left.
TEST_F(ConsoleProfilesTest, EveryProfileOnceEachFromItsOwnHive) {
  const std::string run = std::string("\\") + kRun;
  const std::vector<std::string> listed = List("*");
  EXPECT_EQ(listed, (std::vector<std::string>{
                        "Mine|HKCU" + run + "|PC\\Ann|enabled",
                        "Default|HKU\\.DEFAULT" + run + "|System-wide|enabled",
                        "Local|HKU\\S-1-5-19" + run + "|NT AUTHORITY\\LOCAL SERVICE|enabled",
                        "BobTool|HKU\\" + std::string(kBob) + run + "|PC\\Bob|disabled|HKEY_USERS\\" + kBob,
                        "bob.lnk|D:\\Home\\Bob\\Start|PC\\Bob|enabled",
                        "CarolTool|HKU\\" + std::string(kCarol) + run + "|PC\\Carol|enabled|HKEY_USERS\\" + kCarol,
                        "carol.lnk|C:\\Users\\Carol\\AppData\\Roaming\\Startup|PC\\Carol|enabled",
                    }));
  EXPECT_EQ(imagePaths["BobTool"], "D:\\Home\\Bob\\bob.exe") << "Bob's command by Bob's own %USERPROFILE%";
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[0].find("PC\\Dave"), std::string::npos) << errors[0];
  EXPECT_NE(errors[1].find("PC\\Erin"), std::string::npos) << errors[1];
  EXPECT_TRUE(failed);
  const std::string carolHive = std::string("VellorinQuade-") + kCarol;
  EXPECT_EQ(fakes.profiles.loads, (std::vector<std::string>{"load " + carolHive, "unload " + carolHive}));
  EXPECT_FALSE(fakes.registry.OpenKey(Hive::Users, Utf8ToUtf16(carolHive), kKeyListing)) << "nothing left loaded";
}

// A name lists the machine's entries and that user's only; as SYSTEM, the
// running user's hive is .DEFAULT's, listed once.
TEST_F(ConsoleProfilesTest, ANameListsThatUserOnly) {
  std::vector<std::string> names;
  for (const std::string& line : List("bob")) names.push_back(line.substr(0, line.find('|')));
  EXPECT_EQ(names, (std::vector<std::string>{"Default", "BobTool", "bob.lnk"}));
  for (const std::string& line : List("PC\\CAROL")) names.push_back(line.substr(0, line.find('|')));
  EXPECT_EQ(names, (std::vector<std::string>{"Default", "BobTool", "bob.lnk", "Default", "CarolTool", "carol.lnk"}));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(List("nobody").size(), 1u) << "the machine's entries still";
  EXPECT_EQ(errors, std::vector<std::string>{"No such user: nobody (in the console edition at line 0)"});

  fakes.profiles.currentSid = "S-1-5-18";
  fakes.shell.account = "NT AUTHORITY\\SYSTEM";
  names.clear();
  for (const std::string& line : List(std::nullopt)) names.push_back(line.substr(0, line.find('|')));
  EXPECT_EQ(names, (std::vector<std::string>{"Mine"})) << "HKCU is .DEFAULT for SYSTEM: not again";
}

TEST(ConsoleProfiles, ExpandsByTheUsersOwnValuesThenTheMachines) {
  test::FakeShell shell;
  const std::map<std::string, std::string> values = {{"APPDATA", "C:\\Users\\Eve\\AppData\\Roaming"}};
  EXPECT_EQ(ExpandWith("%AppData%\\x;%WINDIR%;50%;%", values, shell),
            "C:\\Users\\Eve\\AppData\\Roaming\\x;" + shell.ExpandEnvironment("%WINDIR%") + ";50%;%");
  EXPECT_EQ(ExpandWith("%USERPROFILE%\\Start", values, shell), std::nullopt) << "never the running user's";
  EXPECT_TRUE(NamesAccount("EVE", "PC\\Eve"));
  EXPECT_TRUE(NamesAccount("pc\\eve", "PC\\Eve"));
  EXPECT_FALSE(NamesAccount("PC", "PC\\Eve"));
}

}  // namespace
}  // namespace vq
