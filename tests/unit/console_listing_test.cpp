#include "console/listing.h"

#include "console/service_entries.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>

#include "fakes/fake_platform.h"
#include "platform/text.h"

namespace vq {
namespace {

// A program's first bytes: MZ, the PE header's place, and its link time.
std::string ProgramHeaders(std::uint32_t linkTime) {
  std::string bytes(0x100, '\0');
  bytes[0] = 'M', bytes[1] = 'Z', bytes[0x3C] = static_cast<char>(0x80);
  bytes.replace(0x80, 4, std::string("PE\0\0", 4));
  for (int i = 0; i < 4; ++i) bytes[0x88 + i] = static_cast<char>(linkTime >> (8 * i));
  return bytes;
}

std::string HexUpper(const std::string& bytes) {
  std::string hex = HexBytes(bytes);
  for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex;
}

class ConsoleListingTest : public ::testing::Test {
 protected:
  std::vector<ConsoleEntry> List(const std::string& categories = "*", bool utc = true) {
    ConsoleOptions options;
    options.categories = categories;
    options.utcTimes = utc;
    return List(options);
  }
  std::vector<ConsoleEntry> List(const ConsoleOptions& options) {
    ConsoleListing listing(fakes.registry, fakes.shell, fakes.files, fakes.images,
                           [&](const std::string& line) { errors.push_back(line); });
    Gathering gathering{listing, fakes.registry, fakes.shell, fakes.files, fakes.services, fakes.tasks};
    gathering.windowsOwnTasks = true;
    GetRegistryItems(gathering);
    GetStartup(gathering);
    GetSysFile(gathering);
    GetServiceEntries(gathering);
    GetTasks(gathering);
    failed = listing.failed();
    return listing.Entries(options);
  }
  static const ConsoleEntry* Find(const std::vector<ConsoleEntry>& entries, const std::string& entry) {
    for (const ConsoleEntry& e : entries) {
      if (e.entry == entry) return &e;
    }
    return nullptr;
  }
  test::FakePlatform fakes;
  std::vector<std::string> errors;
  bool failed = false;
};

// Each kind of row becomes the entry the fleet tools read: where it is, what
// it runs and whose it is; each location heads its entries once.
TEST_F(ConsoleListingTest, EachKindOfRowAsAnEntryUnderItsLocation) {
  const std::string userRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string machineRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  fakes.registry.SetText(Hive::CurrentUser, userRun, "Tool", u"\"C:\\Tools\\tool.exe\" /min");
  fakes.registry.SetText(Hive::CurrentUser, userRun, std::u16string(u"a\0b", 3), u"C:\\Tools\\gone.exe");
  fakes.registry.Key(Hive::LocalMachine, machineRun).push_back(
      {"Agent", regtype::kExpandSz, test::Utf16Le(u"%SystemRoot%\\agent.exe") + std::string(2, '\0')});
  fakes.registry.written[test::FakeRegistry::Id(Hive::LocalMachine, machineRun)] = 133778281870000000;
  fakes.files.AddFile("C:\\Tools\\tool.exe", ProgramHeaders(0x5F5E1000));
  fakes.files.AddFile("C:\\WINDOWS\\agent.exe", "not a program");
  const std::string startup = fakes.shell.folders[csidl::kStartup];
  fakes.files.AddFile(startup + "\\Tool.lnk", "shortcut");
  fakes.shell.shortcuts["\\\\?\\" + startup + "\\Tool.lnk"] = "C:\\Tools\\tool.exe";  // asked by its exact path
  fakes.files.AddFile("C:\\WINDOWS\\win.ini", "[windows]\r\nload=C:\\Tools\\tool.exe\r\n");
  // A service inside the system's svchost, and one whose program is merely named so.
  for (const char* name : {"Svc", "Spoof"}) {
    fakes.services.configs.push_back({name, std::string(name) + " Service", service::kShareProcess, service::kRunning, true,
                                      service::kAutoStart, false, "", ""});
    const std::string key = std::string("SYSTEM\\CurrentControlSet\\Services\\") + name;
    const std::u16string command = name == std::string("Svc") ? u"%SystemRoot%\\System32\\svchost.exe -k net"
                                                              : u"C:\\Users\\Public\\svchost.exe -k net";
    fakes.registry.Key(Hive::LocalMachine, key)
        .push_back({"ImagePath", regtype::kExpandSz, test::Utf16Le(command) + std::string(2, '\0')});
    fakes.registry.SetText(Hive::LocalMachine, key + "\\Parameters", "ServiceDll", u"%SystemRoot%\\svc.dll");
  }
  fakes.files.AddFile("C:\\WINDOWS\\system32\\svchost.exe", "");
  fakes.files.AddFile("C:\\Users\\Public\\svchost.exe", "");
  fakes.files.AddFile("C:\\WINDOWS\\svc.dll", ProgramHeaders(1));

  const std::vector<ConsoleEntry> entries = List();
  std::vector<std::string> shape;  // location rows as "[location]", entries by name
  for (const ConsoleEntry& e : entries) shape.push_back(e.entry.empty() ? "[" + e.location + "]" : e.entry);
  EXPECT_EQ(shape, (std::vector<std::string>{"[HKLM\\" + machineRun + "]", "Agent", "[HKCU\\" + userRun + "]", "Tool",
                                             "a\xE2\x90\x80" "b", "[" + startup + "]", "Tool.lnk",
                                             "[C:\\WINDOWS\\win.ini]", "load=C:\\Tools\\tool.exe",
                                             "[HKLM\\System\\CurrentControlSet\\Services]", "Svc", "Spoof"}));
  EXPECT_EQ(entries[0].time, "20241204-232307") << "a key's last write, on its location's row";
  EXPECT_EQ(entries[0].profile, "System-wide");
  const ConsoleEntry& agent = entries[1];
  EXPECT_EQ(agent.launchString, "%SystemRoot%\\agent.exe") << "the command as stored";
  EXPECT_EQ(agent.imagePath, "C:\\WINDOWS\\agent.exe");
  EXPECT_EQ(agent.time, "") << "no program headers, no link time";
  const ConsoleEntry& tool = entries[3];
  EXPECT_EQ(tool.imagePath, "C:\\Tools\\tool.exe");
  EXPECT_EQ(tool.time, "20200913-122640");
  EXPECT_EQ(tool.profile, "PC\\Ann");
  EXPECT_EQ(tool.category, "Logon");
  EXPECT_EQ(tool.enabled, "enabled");
  EXPECT_EQ(entries[4].imagePath, "File not found: C:\\Tools\\gone.exe");
  // The exact identity of a name text cannot carry: its UTF-16 code units.
  const auto& identity = entries[4].identity;
  EXPECT_NE(std::find(identity.begin(), identity.end(), std::pair<std::string, std::string>{"nameUtf16Hex", "610000006200"}),
            identity.end());
  EXPECT_EQ(entries[6].imagePath, "C:\\Tools\\tool.exe") << "a shortcut runs its target";
  EXPECT_EQ(entries[6].launchString, startup + "\\Tool.lnk");
  EXPECT_EQ(entries[8].launchString, "C:\\Tools\\tool.exe") << "what follows load=";
  const ConsoleEntry& service = entries[10];
  EXPECT_EQ(service.category, "Services");
  EXPECT_EQ(service.launchString, "%SystemRoot%\\System32\\svchost.exe -k net");
  EXPECT_EQ(service.imagePath, "C:\\WINDOWS\\svc.dll") << "a service inside svchost runs its DLL";
  EXPECT_EQ(entries[11].imagePath, "C:\\Users\\Public\\svchost.exe") << "another svchost is what runs";
  EXPECT_TRUE(errors.empty());
  EXPECT_FALSE(failed);

  // -a chooses by category; times without -t are ISO 8601 in UTC.
  const std::vector<ConsoleEntry> services = List("s", false);
  ASSERT_EQ(services.size(), 3u);
  EXPECT_EQ(services[1].entry, "Svc");
  EXPECT_EQ(services[1].time, "1970-01-01T00:00:01Z");
}

// What Explorer's Startup apps page switched off, Windows does not start.
TEST_F(ConsoleListingTest, SwitchedOffInStartupApprovedIsDisabled) {
  const std::string approved = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
  fakes.registry.SetText(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Off", u"a.exe");
  fakes.registry.SetText(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "On", u"b.exe");
  fakes.registry.SetText(Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "Off32",
                         u"c.exe");
  fakes.registry.SetText(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "Off", u"d.exe");
  fakes.files.AddFile(fakes.shell.folders[csidl::kCommonStartup] + "\\Off.lnk", "x");
  // As Windows writes them: a flags byte, three zeros, a FILETIME.
  auto Switch = [](char flags) { return flags + std::string(11, '\0'); };
  fakes.registry.Key(Hive::CurrentUser, approved + "Run").push_back({"Off", regtype::kBinary, Switch(3)});
  fakes.registry.Key(Hive::CurrentUser, approved + "Run").push_back({"On", regtype::kBinary, Switch(2)});
  fakes.registry.Key(Hive::LocalMachine, approved + "Run32").push_back({"Off32", regtype::kBinary, Switch(7)});
  fakes.registry.Key(Hive::LocalMachine, approved + "StartupFolder")
      .push_back({"Off.lnk", regtype::kBinary, Switch(3)});
  const std::vector<ConsoleEntry> entries = List("l");
  std::vector<std::string> states;
  for (const ConsoleEntry& e : entries) {
    if (!e.entry.empty()) states.push_back(e.entry + "=" + e.enabled);
  }
  EXPECT_EQ(states, (std::vector<std::string>{"Off32=disabled", "Off=disabled", "On=enabled", "Off=enabled",
                                              "Off.lnk=disabled"}))
      << "RunOnce has no switches";
}

// A key's default value holding a command is an entry with an empty name,
// not a location's row: every format writes it.
TEST_F(ConsoleListingTest, ANamelessValueIsAnEntry) {
  fakes.registry.SetText(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", "",
                         u"C:\\p.exe");
  const std::vector<ConsoleEntry> entries = List("l");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0].locationRow);
  EXPECT_FALSE(entries[1].locationRow);
  const ConsoleWriter xml(OutputFormat::Xml, false, false, false);
  EXPECT_NE(xml.Row(entries[1]).find("<itemname></itemname>"), std::string::npos);
  EXPECT_NE(xml.Row(entries[1]).find("<launchstring>C:\\p.exe</launchstring>"), std::string::npos);
}

TEST(ConsoleTimes, LinkTimesAndTheirTexts) {
  EXPECT_EQ(LinkTimeOf(ProgramHeaders(0)), 116444736000000000);
  EXPECT_EQ(LinkTimeOf("MZ"), std::nullopt);
  std::string cut = ProgramHeaders(1);
  cut.resize(0x88);  // the header's place is past the bytes read
  EXPECT_EQ(LinkTimeOf(cut), std::nullopt);
  std::string far = ProgramHeaders(1);
  far[0x3C] = '\xFF', far[0x3F] = '\xFF';
  EXPECT_EQ(LinkTimeOf(far), std::nullopt);
  EXPECT_EQ(TimeText(133778281870000000, true), "20241204-232307");
  EXPECT_EQ(TimeText(133778281870000000, false), "2024-12-04T23:23:07Z");
  EXPECT_EQ(TimeText(std::nullopt, true), "");
  EXPECT_EQ(TimeText(0, true), "");
}

// A failure is one line with the location and statement the box would show.
TEST_F(ConsoleListingTest, AFailureIsOneLineAndTheRunGoesOn) {
  fakes.registry.SetText(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tool", u"t.exe");
  fakes.tasks.Fail("SubFolders", "The service cannot be reached\r\nat all");
  const std::vector<ConsoleEntry> entries = List();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "The service cannot be reached  at all (in Kestrelbay2021/08/31.Form1.GetTasks at line 124)");
  EXPECT_TRUE(failed);
  EXPECT_TRUE(Find(entries, "Tool"));
}

// Who signed each program: its own signature, else a catalog's; never a
// catalog for a file whose own signature fails. Each program is opened and
// checked once however many entries name it, and -m and -u choose by it.
TEST_F(ConsoleListingTest, SignersOfEachProgramOnceAndWhatMAndUHide) {
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::pair<const char*, const char*> programs[] = {
      {"Own", "C:\\Tools\\own.exe"},      {"OwnAgain", "C:\\TOOLS\\OWN.EXE /x"}, {"Listed", "C:\\Win\\listed.exe"},
      {"Forged", "C:\\Tools\\forged.exe"}, {"Bare", "C:\\Tools\\bare.exe"},       {"Far", "C:\\Tools\\far.exe"}};
  for (const auto& [name, path] : programs) {
    fakes.registry.SetText(Hive::CurrentUser, run, name, Utf8ToUtf16(path));
    if (name != std::string("OwnAgain")) fakes.files.AddFile(path, "bytes of " + std::string(name));
  }
  fakes.registry.SetText(Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Machine",
                         u"C:\\Tools\\own.exe");
  fakes.images.embedded["C:\\Tools\\own.exe"] = {0, "Tool Makers", ""};
  fakes.images.catalog["C:\\Win\\listed.exe"] = {0, "Microsoft Windows", ""};
  // An untrusted root: the file's own signature fails, and no catalog may stand in for it.
  const std::string untrusted = "A certificate chain processed, but terminated in a root certificate which is not trusted";
  fakes.images.embedded["C:\\Tools\\forged.exe"] = {0x800B0109, "Microsoft Windows", untrusted};
  fakes.images.catalog["C:\\Tools\\forged.exe"] = {0, "Microsoft Windows", ""};
  fakes.images.silent.insert("C:\\Tools\\far.exe");

  ConsoleOptions options;
  options.signatures = true;
  std::map<std::string, std::string> signers;
  for (const ConsoleEntry& e : List(options)) signers[e.entry] = e.signer;
  EXPECT_EQ(signers["Own"], "(Verified) Tool Makers");
  EXPECT_EQ(signers["OwnAgain"], "(Verified) Tool Makers");
  EXPECT_EQ(signers["Listed"], "(Verified) Microsoft Windows");
  EXPECT_EQ(signers["Forged"], "(Not verified) " + untrusted);
  EXPECT_EQ(signers["Bare"], "(Not verified) No signature was present in the subject");
  EXPECT_EQ(signers["Far"], "(Not verified) The share did not answer");
  EXPECT_EQ(fakes.images.opens["C:\\Tools\\own.exe"], 1) << "two entries, one program, one open";
  EXPECT_EQ(fakes.images.opens.count("C:\\TOOLS\\OWN.EXE"), 0u);
  EXPECT_EQ(fakes.images.checks,
            (std::vector<std::string>{"embedded C:\\Tools\\own.exe", "embedded C:\\Win\\listed.exe",
                                      "catalog C:\\Win\\listed.exe", "embedded C:\\Tools\\forged.exe",
                                      "embedded C:\\Tools\\bare.exe", "catalog C:\\Tools\\bare.exe"}));

  // -m hides what Microsoft verifiably signed; -u what is verified. A
  // location's row stays only above an entry still listed.
  const auto names = [&](const ConsoleOptions& chosen) {
    std::vector<std::string> listed;
    for (const ConsoleEntry& e : List(chosen)) listed.push_back(e.locationRow ? "[row]" : e.entry);
    return listed;
  };
  options.hideMicrosoft = true;
  EXPECT_EQ(names(options), (std::vector<std::string>{"[row]", "Machine", "[row]", "Own", "OwnAgain", "Forged", "Bare",
                                                      "Far"}));
  options.hideMicrosoft = false, options.onlyUnverified = true;
  EXPECT_EQ(names(options), (std::vector<std::string>{"[row]", "Forged", "Bare", "Far"}));
  options.signatures = false;
  EXPECT_EQ(names(options), (std::vector<std::string>{"[row]", "Forged", "Bare", "Far"})) << "-u checks without -s";
  EXPECT_TRUE(IsMicrosoftName("microsoft corporation"));
  EXPECT_FALSE(IsMicrosoftName("Microsoft Windows Hardware Compatibility Publisher")) << "signs other makers' drivers";
}

// Hashes are taken of the file's bytes once; a file that is no program has
// no Authenticode or import hash. Without -h nothing is hashed.
TEST_F(ConsoleListingTest, HashesOfTheFileAndNoneAProgramAlone) {
  fakes.registry.SetText(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Script",
                         u"C:\\Tools\\job.cmd");
  fakes.files.AddFile("C:\\Tools\\job.cmd", "@echo off");
  ConsoleOptions options;
  options.hashes = true;
  const std::vector<ConsoleEntry> entries = List(options);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].md5, HexUpper("md5:@echo off"));
  EXPECT_EQ(entries[1].sha1, HexUpper("sha1:@echo off"));
  EXPECT_EQ(entries[1].sha256, HexUpper("sha256:@echo off"));
  EXPECT_EQ(entries[1].pesha1 + entries[1].pesha256 + entries[1].imp, "");
  EXPECT_EQ(entries[1].signer, "") << "no -s, no -u: no signature checked";
  EXPECT_TRUE(fakes.images.checks.empty());
  EXPECT_EQ(List()[1].md5, "") << "no -h";
}

}  // namespace
}  // namespace vq
