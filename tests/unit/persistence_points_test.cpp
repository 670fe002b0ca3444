#include <gtest/gtest.h>

#include "console/listing.h"
#include "console/profiles.h"
#include "entries/autostart_points.h"
#include "platform/text.h"
#include "unit/collector_test_support.h"

namespace vq {
namespace {

using test::Row;

constexpr char kLsa[] = "SYSTEM\\CurrentControlSet\\Control\\Lsa";
constexpr char kNotify[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify";
constexpr char kMonitors[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";

std::string Sz(std::u16string_view text) { return Utf16LeBytes(text) + std::string(2, '\0'); }
std::string Multi(std::initializer_list<std::u16string_view> elements) {
  std::string data;
  for (std::u16string_view element : elements) data += Sz(element);
  return data + std::string(2, '\0');
}

class PersistencePointsTest : public test::CollectorTest {
 protected:
  test::FakeRegistry& registry = fakes.registry;
  void Put(Hive hive, const std::string& key, std::u16string_view name, std::uint32_t type, std::string data) {
    registry.Key(hive, key).push_back({std::u16string(name), type, std::move(data)});
  }
  std::optional<StoredValue> ValueOf(Hive hive, const std::string& key, std::u16string_view name) {
    const auto id = registry.keys.find(test::FakeRegistry::Id(hive, key));
    if (id == registry.keys.end()) return std::nullopt;
    for (const auto& value : id->second) {
      if (value.name == name) return StoredValue{value.type, value.data};
    }
    return std::nullopt;
  }
  void Tick(const std::vector<std::string>& items) {
    for (auto& row : window.rows) {
      row.checked = std::find(items.begin(), items.end(), row.texts[2]) != items.end();
    }
  }
  std::string RegFile() {
    for (const auto& [path, bytes] : fakes.files.files) {
      if (path.ends_with("\\registry.reg")) return Utf16ToUtf8(FromUtf16Le(bytes.substr(2)));
    }
    return "";
  }
};

// Only the elements Windows does not ship are rows, each told apart by its
// text; a look-alike differing in a trailing blank is not Windows' own.
// Removing one writes back every other element in its order, also when the
// list changed after it was listed; Windows' own never go.
TEST_F(PersistencePointsTest, ListElementsAreListedAndTakenOutAlone) {
  Put(Hive::LocalMachine, kLsa, u"Authentication Packages", regtype::kMultiSz, Multi({u"msv1_0"}));
  Put(Hive::LocalMachine, kLsa, u"Security Packages", regtype::kMultiSz, Multi({u"\"\""}));
  Put(Hive::LocalMachine, kLsa, u"Notification Packages", regtype::kMultiSz,
      Multi({u"SCECLI", u"AtomicRedTeamPWFilter", u"rassfm", u"scecli ", u"evil.dll"}));
  Put(Hive::LocalMachine, std::string(kLsa) + "\\OSConfig", u"Security Packages", regtype::kSz, Sz(u"AtomicTest.dll"));
  form.GetRegistryItems();
  EXPECT_EQ(Rows(), (std::vector<Row>{
                        {"REGISTRY", "HKLM:" + std::string(kLsa) + "\\OSConfig", "Security Packages: AtomicTest.dll", ""},
                        {"REGISTRY", "HKLM:" + std::string(kLsa), "Notification Packages: AtomicRedTeamPWFilter", ""},
                        {"REGISTRY", "HKLM:" + std::string(kLsa), "Notification Packages: scecli ", ""},
                        {"REGISTRY", "HKLM:" + std::string(kLsa), "Notification Packages: evil.dll", ""},
                    }));

  // Changed since it was listed: an element put in front stays, in its place.
  registry.Key(Hive::LocalMachine, kLsa)[2].data =
      Multi({u"new", u"SCECLI", u"AtomicRedTeamPWFilter", u"rassfm", u"scecli ", u"evil.dll"});
  Tick({"Notification Packages: AtomicRedTeamPWFilter", "Notification Packages: evil.dll",
        "Security Packages: AtomicTest.dll"});
  form.DeleteItem();
  EXPECT_EQ(ValueOf(Hive::LocalMachine, kLsa, u"Notification Packages"),
            (StoredValue{regtype::kMultiSz, Multi({u"new", u"SCECLI", u"rassfm", u"scecli "})}));
  EXPECT_EQ(ValueOf(Hive::LocalMachine, std::string(kLsa) + "\\OSConfig", u"Security Packages"),
            (StoredValue{regtype::kSz, Sz(u"")}))
      << "a list held as one text keeps its type";
  EXPECT_NE(RegFile().find("\"Notification Packages\"=hex(7):"), std::string::npos) << "the list as it was";

  // A row naming one of Windows' own elements (not listed by the program) takes nothing.
  window.rows.clear();
  RegistryValueItem own{Hive::LocalMachine, Utf8ToUtf16(kLsa), u"Notification Packages", std::nullopt};
  own.element = u"rassfm";
  window.rows.push_back({true, {"REGISTRY", "HKLM:" + std::string(kLsa), "x", ""}, form.items_.Add(own)});
  form.DeleteItem();
  EXPECT_EQ(ValueOf(Hive::LocalMachine, kLsa, u"Notification Packages"),
            (StoredValue{regtype::kMultiSz, Multi({u"new", u"SCECLI", u"rassfm", u"scecli "})}));
}

// A sub-key that is an entry whole goes with its values, saved first; one
// with keys below it stays. A Windows name loading another file is put back
// to Windows' own file; Windows' own file under any name is not listed.
TEST_F(PersistencePointsTest, SubKeysGoWholeAndWindowsNamesAreReset) {
  const std::string notify = kNotify;
  Put(Hive::LocalMachine, notify + "\\Evil", u"DllName", regtype::kExpandSz, Sz(u"C:\\Windows\\Temp\\n.dll"));
  Put(Hive::LocalMachine, notify + "\\Evil", u"Impersonate", regtype::kDword, std::string("\1\0\0\0", 4));
  Put(Hive::LocalMachine, notify + "\\Nested", u"DllName", regtype::kSz, Sz(u"C:\\x\\nested.dll"));
  registry.Key(Hive::LocalMachine, notify + "\\Nested\\Below");
  Put(Hive::LocalMachine, std::string(kMonitors) + "\\Local Port", u"Driver", regtype::kSz, Sz(u"C:\\m\\evil.dll"));
  Put(Hive::LocalMachine, std::string(kMonitors) + "\\USB Monitor", u"Driver", regtype::kSz, Sz(u"USBMON.DLL"));
  Put(Hive::LocalMachine, std::string(kMonitors) + "\\Renamed", u"Driver", regtype::kSz,
      Sz(u"C:\\WINDOWS\\system32\\tcpmon.dll"));
  Put(Hive::LocalMachine, std::string(kMonitors) + "\\Planted", u"Driver", regtype::kSz,
      Sz(u"C:\\WINDOWS\\..\\Users\\tcpmon.dll"));
  Put(Hive::LocalMachine, "SOFTWARE\\Microsoft\\NetSh", u"2", regtype::kSz, Sz(u"ifmon.dll"));
  Put(Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\NetSh", u"helper32", regtype::kSz, Sz(u"C:\\h\\h32.dll"));
  form.GetRegistryItems();
  EXPECT_EQ(Rows(), (std::vector<Row>{
                        {"REGISTRY", "HKLM:" + std::string(kMonitors) + "\\Local Port", "Driver", "C:\\m\\"},
                        {"REGISTRY", "HKLM:" + std::string(kMonitors), "Planted", "C:\\WINDOWS\\..\\Users\\"},
                        {"REGISTRY", "HKLM:SOFTWARE\\WOW6432Node\\Microsoft\\NetSh", "helper32", "C:\\h\\"},
                        {"REGISTRY", "HKLM:" + notify, "Evil", "C:\\Windows\\Temp\\"},
                        {"REGISTRY", "HKLM:" + notify, "Nested", "C:\\x\\"},
                    }));

  for (auto& row : window.rows) row.checked = true;
  form.DeleteItem();
  EXPECT_FALSE(registry.keys.count(test::FakeRegistry::Id(Hive::LocalMachine, notify + "\\Evil")));
  EXPECT_FALSE(registry.keys.count(test::FakeRegistry::Id(Hive::LocalMachine, std::string(kMonitors) + "\\Planted")));
  EXPECT_TRUE(ValueOf(Hive::LocalMachine, notify + "\\Nested", u"DllName")) << "a key with keys below stays";
  EXPECT_FALSE(ValueOf(Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\NetSh", u"helper32"));
  EXPECT_EQ(ValueOf(Hive::LocalMachine, std::string(kMonitors) + "\\Local Port", u"Driver"),
            (StoredValue{regtype::kSz, Sz(u"localspl.dll")}));
  const std::string saved = RegFile();
  EXPECT_NE(saved.find("[HKEY_LOCAL_MACHINE\\" + notify + "\\Evil]\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"Impersonate\"=dword:00000001"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("Nested"), std::string::npos) << "what stays is not in the backup";
  EXPECT_EQ(registry.openKeys, 0);
}

// What Windows reads of a list is what removal keeps: every copy of the
// element goes, the list's end and what lies past it stay byte for byte, and
// a list held as one text naming one of Windows' own packages is not changed.
// A key going whole goes only as it was saved: a value written to it after
// the save keeps it, and its saved values leave the backup.
TEST_F(PersistencePointsTest, RemovalTakesOnlyWhatWasListedAndSaved) {
  const std::string tail = Multi({u"scecli", u"evil", u"keep", u"evil"}) + Sz(u"past the end") + std::string(2, '\0');
  Put(Hive::LocalMachine, kLsa, u"Notification Packages", regtype::kMultiSz, tail);
  Put(Hive::LocalMachine, kLsa, u"Authentication Packages", regtype::kSz, Sz(u"msv1_0 extra.dll"));
  const std::string notify = std::string(kNotify) + "\\Late";
  Put(Hive::LocalMachine, notify, u"DllName", regtype::kSz, Sz(u"C:\\x\\late.dll"));
  Put(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\W32Time\\TimeProviders\\NtpClient", u"DllName",
      regtype::kSz, Sz(u"C:\\Windows\\Temp\\w32time.dll"));
  form.GetRegistryItems();
  std::vector<std::string> items;
  for (const Row& row : Rows()) items.push_back(row.texts[2]);
  EXPECT_EQ(items, (std::vector<std::string>{"Authentication Packages: msv1_0 extra.dll", "Notification Packages: evil",
                                             "Notification Packages: keep", "Notification Packages: evil", "DllName",
                                             "Late"}))
      << "a Windows file's name outside the system folders is not Windows' own";

  fakes.files.whileFlushing = [&] { Put(Hive::LocalMachine, notify, u"Written", regtype::kSz, Sz(u"meanwhile")); };
  Tick({"Notification Packages: evil", "Authentication Packages: msv1_0 extra.dll", "Late", "DllName"});
  form.DeleteItem();
  EXPECT_EQ(ValueOf(Hive::LocalMachine, kLsa, u"Notification Packages"),
            (StoredValue{regtype::kMultiSz, Multi({u"scecli", u"keep"}) + Sz(u"past the end") + std::string(2, '\0')}));
  EXPECT_EQ(ValueOf(Hive::LocalMachine, kLsa, u"Authentication Packages"),
            (StoredValue{regtype::kSz, Sz(u"msv1_0 extra.dll")}));
  EXPECT_EQ(ValueOf(Hive::LocalMachine, notify, u"DllName"), (StoredValue{regtype::kSz, Sz(u"C:\\x\\late.dll")}));
  EXPECT_EQ(ValueOf(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\W32Time\\TimeProviders\\NtpClient",
                    u"DllName"),
            (StoredValue{regtype::kExpandSz, Sz(u"%SystemRoot%\\System32\\w32time.dll")}))
      << "put back as Windows writes it, whatever type it was changed to";
  const std::string saved = RegFile();
  EXPECT_EQ(saved.find("Late"), std::string::npos) << saved;
  EXPECT_EQ(registry.openKeys, 0);
}

// The conditions some points start only under: profiling switched on, a
// screen saver Windows does not ship, a class the machine serves otherwise.
TEST_F(PersistencePointsTest, PointsThatStartOnlyUnderTheirConditions) {
  const std::string machineEnvironment = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
  Put(Hive::CurrentUser, "Environment", u"COR_ENABLE_PROFILING", regtype::kSz, Sz(u"1"));
  Put(Hive::CurrentUser, "Environment", u"COR_PROFILER", regtype::kSz, Sz(u"{09108e71}"));
  Put(Hive::CurrentUser, "Environment", u"COR_PROFILER_PATH_64", regtype::kSz, Sz(u"C:\\p\\prof.dll"));
  Put(Hive::CurrentUser, "Environment", u"CORECLR_PROFILER_PATH", regtype::kSz, Sz(u"C:\\p\\off.dll"));  // not enabled
  Put(Hive::CurrentUser, "Environment", u"Path", regtype::kSz, Sz(u"C:\\bin"));
  Put(Hive::LocalMachine, machineEnvironment, u"CORECLR_ENABLE_PROFILING", regtype::kDword, std::string("\1\0\0\0", 4));
  Put(Hive::LocalMachine, machineEnvironment, u"CORECLR_PROFILER", regtype::kSz, Sz(u"{77}"));
  registry.SetText(Hive::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{77}\\InprocServer32", "", u"C:\\c\\clr.dll");
  Put(Hive::CurrentUser, "Control Panel\\Desktop", u"SCRNSAVE.EXE", regtype::kSz,
      Sz(u"C:\\WINDOWS\\System32\\evilscreensaver.scr"));
  Put(Hive::CurrentUser, "Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop", u"SCRNSAVE.EXE",
      regtype::kSz, Sz(u"%SystemRoot%\\system32\\scrnsave.scr"));
  registry.SetText(Hive::CurrentUser, "Software\\Classes\\CLSID\\{B5}\\InprocServer32", "", u"C:\\Temp\\hijack.dll");
  registry.SetText(Hive::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{B5}\\InprocServer32", "", u"C:\\WINDOWS\\oleacc.dll");
  registry.SetText(Hive::CurrentUser, "Software\\Classes\\CLSID\\{97}\\TreatAs", "", u"{01}");
  registry.SetText(Hive::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{97}", "", u"Work Folders");
  registry.SetText(Hive::CurrentUser, "Software\\Classes\\CLSID\\{Same}\\LocalServer32", "", u"C:\\s.exe");
  registry.SetText(Hive::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{Same}\\LocalServer32", "", u"c:\\S.EXE");
  registry.SetText(Hive::CurrentUser, "Software\\Classes\\CLSID\\{UserOnly}\\InprocServer32", "", u"C:\\u.dll");
  form.GetRegistryItems();
  EXPECT_EQ(Rows(), (std::vector<Row>{
                        {"REGISTRY", "HKCU:Environment", "COR_PROFILER", ""},
                        {"REGISTRY", "HKCU:Environment", "COR_PROFILER_PATH_64", "C:\\p\\"},
                        {"REGISTRY", "HKLM:" + machineEnvironment, "CORECLR_PROFILER", "C:\\c\\"},
                        {"REGISTRY", "HKCU:Control Panel\\Desktop", "SCRNSAVE.EXE", "C:\\WINDOWS\\System32\\"},
                        {"REGISTRY", "HKCU:Software\\Classes\\CLSID\\{97}", "TreatAs", ""},
                        {"REGISTRY", "HKCU:Software\\Classes\\CLSID\\{B5}", "InprocServer32", "C:\\Temp\\"},
                    }));
  for (auto& row : window.rows) row.checked = row.texts[2] == "InprocServer32";
  form.DeleteItem();
  EXPECT_FALSE(registry.keys.count(test::FakeRegistry::Id(Hive::CurrentUser, "Software\\Classes\\CLSID\\{B5}\\InprocServer32")));
  EXPECT_TRUE(registry.keys.count(test::FakeRegistry::Id(Hive::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{B5}\\InprocServer32")));
}

// The console edition files each point under the fleet tools' letters: a
// list's element as the entry of its value, a key that goes whole as an
// entry of its parent, a bare package found in the system folder.
TEST(ConsolePersistencePoints, EntriesWhereTheFleetToolsLookForThem) {
  test::FakePlatform fakes;
  fakes.files.AddFile("C:\\WINDOWS\\system32\\AtomicRedTeamPWFilter.dll");
  fakes.registry.Key(Hive::LocalMachine, kLsa).push_back(
      {u"Notification Packages", regtype::kMultiSz, Multi({u"scecli", u"AtomicRedTeamPWFilter"})});
  fakes.registry.SetText(Hive::LocalMachine, std::string(kNotify) + "\\Evil", "DllName", u"C:\\n.dll");
  fakes.registry.SetText(Hive::LocalMachine, std::string(kMonitors) + "\\Atomic", "Driver", u"C:\\m.dll");
  fakes.registry.SetText(Hive::CurrentUser, "Software\\Microsoft\\Office test\\Special\\Perf", "", u"C:\\o.dll");
  ConsoleOptions options;
  options.categories = "rpwo";
  ConsoleListing listing(fakes.registry, fakes.shell, fakes.files, fakes.images, [](const std::string&) {});
  std::vector<std::unique_ptr<LoadedHive>> loaded;
  GatherEntries(listing, {listing, fakes.registry, fakes.shell, fakes.files, fakes.services, fakes.tasks}, fakes.profiles,
                std::nullopt, loaded, options.categories);
  std::vector<std::vector<std::string>> seen;
  for (const ConsoleEntry& entry : listing.Entries(options)) {
    if (!entry.locationRow) seen.push_back({entry.category, entry.location, entry.entry, entry.imagePath});
  }
  EXPECT_EQ(seen, (std::vector<std::vector<std::string>>{
                      {"LSA Providers", "HKLM\\" + std::string(kLsa) + "\\Notification Packages", "AtomicRedTeamPWFilter",
                       "C:\\WINDOWS\\system32\\AtomicRedTeamPWFilter.dll"},
                      {"Print Monitors", "HKLM\\" + std::string(kMonitors), "Atomic", "File not found: C:\\m.dll"},
                      {"Winlogon", "HKLM\\" + std::string(kNotify), "Evil", "File not found: C:\\n.dll"},
                      {"Office", "HKCU\\Software\\Microsoft\\Office test\\Special\\Perf", "", "File not found: C:\\o.dll"},
                  }));
}

}  // namespace
}  // namespace vq
