#include "entries/autostart_points.h"

#include <algorithm>

#include "platform/text.h"

namespace vq {

namespace {

using enum PointKeys;
using enum PointUnless;
constexpr Hive kMachine = Hive::LocalMachine, kUser = Hive::CurrentUser;
using enum PointEntry;
constexpr std::uint32_t kCommand = 0;
constexpr char kLsaVersions[] = "Windows 8.1 to 11, Server 2012 R2 to 2025 (the longer Security Packages list: Windows 7, 8)";
// The LSA's own security packages; "\"\"" (two quotes) is the one element
// Windows 8.1 and later keep in Lsa's list.
constexpr char kSecurityPackages[] = "kerberos|msv1_0|schannel|wdigest|tspkg|pku2u|cloudap|negoexts|livessp|\"\"";
constexpr char kScreenSavers[] =
    "=scrnsave.scr|=Bubbles.scr|=Mystify.scr|=Ribbons.scr|=ssText3d.scr|=PhotoScreensaver.scr|=logon.scr|=sspipes.scr|"
    "=ssstars.scr|=ssmyst.scr|=ssflwbox.scr";
constexpr char kScreenSaverVersions[] = "Windows XP to 11";

constexpr AutostartPoint kPoints[] = {
    {150, kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", TheKey, nullptr, kCommand, nullptr, false, Nothing, "Logon"},
    {150, kUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", TheKey, nullptr, kCommand, nullptr, false, Nothing, "Logon"},
    {152, kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", EachSubKeyAndItsDepend, nullptr, kCommand, nullptr, true, Nothing, "Logon"},
    {154, kMachine, "SYSTEM\\CurrentControlSet\\Control\\BootVerificationProgram", TheKey, "ImagePath", kCommand, nullptr, false, Nothing, "Boot Execute"},
    {156, kMachine, "SOFTWARE\\Microsoft\\Active Setup\\Installed Components", EachSubKey, "StubPath", kCommand, nullptr, true, NotInstalled, "Logon"},
    {158, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options", EachSubKey, "Debugger", kCommand, nullptr, false, Nothing, "Hijacks"},
    {160, kUser, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", TheKey, "Shell", kCommand, nullptr, false, Nothing, "Logon"},
    {162, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", TheKey, "Userinit", regtype::kSz, "%SystemFolder%\\userinit.exe,", false, Nothing, "Logon"},
    {162, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", TheKey, "Shell", regtype::kSz, "explorer.exe", false, Nothing, "Logon"},
    {164, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", TheKey, "BootExecute", regtype::kMultiSz, "autocheck autochk *|", false, DiskChecksOnly, "Boot Execute"},
    {166, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd", TheKey, "StartupPrograms", regtype::kSz, "rdpclip", false, Nothing, "Logon"},
    {168, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows", TheKey, "AppInit_DLLs", regtype::kSz, "", true, Nothing, "AppInit"},
    // The places attackers write beyond these, each as its technique's tests write it.
    // The LSA loads every package its lists name.
    {170, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Lsa", TheKey, "Authentication Packages", kCommand, nullptr, false, Nothing, "LSA Providers",
     ListElement, "msv1_0", kLsaVersions},
    {172, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Lsa", TheKey, "Security Packages", kCommand, nullptr, false, Nothing, "LSA Providers",
     ListElement, kSecurityPackages, kLsaVersions},
    {172, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Lsa\\OSConfig", TheKey, "Security Packages", kCommand, nullptr, false, Nothing, "LSA Providers",
     ListElement, kSecurityPackages, kLsaVersions},
    {174, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Lsa", TheKey, "Notification Packages", kCommand, nullptr, false, Nothing, "LSA Providers",
     ListElement, "scecli|rassfm", "Windows 10 and 11 (scecli); Windows Server (rassfm too)"},
    // The spooler loads every port monitor's and print processor's DLL.
    {176, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors", TheKey, "Driver", kCommand, nullptr, false, Nothing, "Print Monitors",
     SubKey, "Local Port=localspl.dll|Standard TCP/IP Port=tcpmon.dll|USB Monitor=usbmon.dll|WSD Port=APMon.dll|=WSDMon.dll|"
     "Appmon=AppMon.dll|Microsoft Shared Fax Monitor=FXSMON.DLL|PJL Language Monitor=pjlmon.dll|LPR Port=lprmon.dll", "Windows 10 and 11 (WSD Port: APMon.dll; WSDMon.dll before, and on Server 2016; LPR Port with its optional feature)"},
    {178, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Print Processors", TheKey, "Driver", kCommand, nullptr,
     false, Nothing, "Print Monitors", SubKey, "winprint=winprint.dll|wineps=wineps.drv",
     "Windows Vista to 11, Server 2008 to 2025 (winprint); Wine 8 (wineps, its PostScript driver, registered as the spooler starts)"},
    // netsh loads each helper DLL it names.
    {180, kMachine, "SOFTWARE\\Microsoft\\NetSh", TheKey, nullptr, kCommand, nullptr, true, Nothing, "AppInit", Value,
     "2=ifmon.dll|4=rasmontr.dll|authfwcfg=authfwcfg.dll|dhcpclient=dhcpcmonitor.dll|dot3cfg=dot3cfg.dll|fwcfg=fwcfg.dll|"
     "hnetmon=hnetmon.dll|netiohlp=netiohlp.dll|nettrace=nettrace.dll|nshhttp=nshhttp.dll|nshipsec=nshipsec.dll|"
     "nshwfp=nshwfp.dll|peerdistsh=peerdistsh.dll|rpc=rpcnsh.dll|whhelper=whhelper.dll|wshelper=wshelper.dll|"
     "=napmontr.dll|=netprofm.dll|=p2pnetsh.dll|=WcnNetsh.dll|=wlancfg.dll|=wwancfg.dll|=wcncsvc.dll",
     "Windows 7 to 11, Server 2008 R2 to 2025"},
    // Every process that creates a process loads each AppCert DLL.
    {182, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\AppCertDlls", TheKey, nullptr, kCommand, nullptr, false, Nothing, "AppInit"},
    // Installed shim databases, and the programs each applies to.
    {184, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\InstalledSDB", TheKey, "DatabasePath", kCommand, nullptr, true,
     Nothing, "AppInit", SubKey},
    {184, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Custom", TheKey, nullptr, kCommand, nullptr, true, Nothing,
     "AppInit", SubKey},
    // The time service loads each provider's DLL.
    {186, kMachine, "SYSTEM\\CurrentControlSet\\Services\\W32Time\\TimeProviders", TheKey, "DllName", kCommand, nullptr, false, Nothing, "AppInit",
     SubKey, "NtpClient=%SystemRoot%\\System32\\w32time.dll|NtpServer=%SystemRoot%\\System32\\w32time.dll|"
     "VMICTimeProvider=%SystemRoot%\\System32\\vmictimeprovider.dll", "Windows 7 to 11, Server 2008 R2 to 2025"},
    // Winlogon notification packages: a sub-key each, or a value on the key itself.
    {188, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify", TheKey, "DllName", kCommand, nullptr, false, Nothing,
     "Winlogon", SubKey},
    {188, kMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify", TheKey, nullptr, kCommand, nullptr, false, Nothing, "Winlogon"},
    {188, kUser, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify", TheKey, "DllName", kCommand, nullptr, false, Nothing, "Winlogon",
     SubKey},
    {188, kUser, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify", TheKey, nullptr, kCommand, nullptr, false, Nothing, "Winlogon"},
    // The logon script the user's logon runs.
    {190, kUser, "Environment", TheKey, "UserInitMprLogonScript", kCommand, nullptr, false, Nothing, "Logon"},
    // The profiler every .NET program loads while profiling is switched on.
    {192, kUser, "Environment", TheKey, nullptr, kCommand, nullptr, false, ProfilingOff, "AppInit"},
    {192, kMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", TheKey, nullptr, kCommand, nullptr, false, ProfilingOff,
     "AppInit"},
    // The DLL every Office program loads at its start.
    {194, kUser, "Software\\Microsoft\\Office test\\Special\\Perf", TheKey, "", kCommand, nullptr, false, Nothing, "Office"},
    {194, kMachine, "SOFTWARE\\Microsoft\\Office test\\Special\\Perf", TheKey, "", kCommand, nullptr, true, Nothing, "Office"},
    // The screen saver Windows starts when the user is away.
    {196, kUser, "Control Panel\\Desktop", TheKey, "SCRNSAVE.EXE", kCommand, nullptr, false, Nothing, "Logon", Value, kScreenSavers,
     kScreenSaverVersions},
    {196, kUser, "Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop", TheKey, "SCRNSAVE.EXE", kCommand, nullptr, false, Nothing,
     "Logon", Value, kScreenSavers, kScreenSaverVersions},
    // A user's own server for a class the machine registers: the user's programs load it instead.
    {198, kUser, "Software\\Classes\\CLSID", TheKey, nullptr, kCommand, nullptr, false, Nothing, "Hijacks", ClassOverride},
};

// Letters as the registry compares names, letter case aside; to be safe, with
// the few letters that some case tables fold into ASCII ones too (dotless i,
// long s, the Kelvin sign), which Wine's registry keeps apart.
std::u16string Folded(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& c : folded) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c == u'\u0131') c = u'i';
    if (c == u'\u017F') c = u's';
    if (c == u'\u212A') c = u'k';
  }
  return folded;
}

}  // namespace

std::span<const AutostartPoint> AutostartPoints() { return kPoints; }

std::string In32BitView(std::string_view key) {
  constexpr std::string_view kSoftware = "SOFTWARE\\";
  if (!key.starts_with(kSoftware)) return std::string(key);
  return "SOFTWARE\\WOW6432Node\\" + std::string(key.substr(kSoftware.size()));
}

std::vector<std::u16string> Entries(std::uint32_t type, std::string_view data) {
  std::u16string text = FromUtf16Le(data);
  if (type != regtype::kMultiSz) {
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return {text};
  }
  std::vector<std::u16string> entries;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(u'\0', start), text.size());
    if (end == start) break;  // the empty entry that ends the list
    entries.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

bool IsDiskCheck(std::u16string_view entry) {
  const std::size_t first = entry.find_first_not_of(u' ');
  if (first == std::u16string_view::npos || entry.size() - first < 18) return false;
  constexpr std::u16string_view kDiskCheck = u"autocheck autochk ";
  const std::u16string_view start = entry.substr(first, kDiskCheck.size());
  return std::equal(start.begin(), start.end(), kDiskCheck.begin(), [](char16_t c, char16_t lower) {
    return (c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c) == lower;
  });
}

StoredValue ResetValue(const StoredValue& windowsOwn, bool keepDiskChecks, const std::optional<StoredValue>& now) {
  if (!keepDiskChecks || !now) return windowsOwn;
  std::u16string kept;
  for (const std::u16string& entry : Entries(now->type, now->data)) {
    if (IsDiskCheck(entry)) kept += entry + u'\0';
  }
  if (kept.empty()) return windowsOwn;
  return StoredValue{regtype::kMultiSz, Utf16LeBytes(kept + u'\0')};
}

namespace {

// The first point of this kind that keeps a value of this name in this key.
const AutostartPoint* PointOfValue(Registry& registry, Hive hive, RegistryKey& key, std::u16string_view name,
                                   bool (*kind)(const AutostartPoint&)) {
  std::optional<std::u16string> keyName;  // asked when first needed
  for (const AutostartPoint& point : kPoints) {
    if (!kind(point) || !point.value || point.hive != hive || Folded(name) != Folded(Utf8ToUtf16(point.value))) {
      continue;
    }
    for (const std::string& path : {std::string(point.key), In32BitView(point.key)}) {
      const std::unique_ptr<RegistryKey> own = registry.OpenKey(hive, Utf8ToUtf16(path), kKeyQueryValue);
      if (!own) continue;
      if (!keyName) keyName = Folded(key.FullName());
      if (Folded(own->FullName()) == *keyName) return &point;
    }
  }
  return nullptr;
}

bool IsList(const AutostartPoint& point) { return point.entry == ListElement; }

// A list's element as the LSA takes it, a trailing ".dll" aside (an element
// with a folder names a file of that folder, never Windows' own).
std::u16string ElementName(std::u16string_view element) {
  std::u16string name = Folded(element);
  if (name.ends_with(u".dll")) name.resize(name.size() - 4);
  return name;
}

}  // namespace

bool IsWindowsOwnValue(Registry& registry, Hive hive, RegistryKey& key, std::u16string_view name) {
  // A value Windows resets, and a list Windows keeps its own elements in.
  return PointOfValue(registry, hive, key, name,
                      [](const AutostartPoint& point) { return point.defaultType != kCommand || IsList(point); });
}

const AutostartPoint* ListPointOf(Registry& registry, Hive hive, RegistryKey& key, std::u16string_view name) {
  return PointOfValue(registry, hive, key, name, IsList);
}

std::vector<ShippedEntry> ShippedEntries(const AutostartPoint& point) {
  std::vector<ShippedEntry> shipped;
  const std::string_view all = point.windowsShips ? point.windowsShips : "";
  for (std::size_t start = 0; start < all.size();) {
    const std::size_t end = std::min(all.find('|', start), all.size());
    const std::string_view one = all.substr(start, end - start);
    const std::size_t equals = point.entry == ListElement ? std::string_view::npos : one.find('=');
    if (equals == std::string_view::npos) {
      shipped.push_back({"", std::string(one)});
    } else {
      shipped.push_back({std::string(one.substr(0, equals)), std::string(one.substr(equals + 1))});
    }
    start = end + 1;
  }
  return shipped;
}

bool IsShippedElement(const AutostartPoint& point, std::u16string_view element) {
  const std::u16string name = ElementName(element);
  for (const ShippedEntry& own : ShippedEntries(point)) {
    if (ElementName(Utf8ToUtf16(own.file)) == name) return true;
  }
  return false;
}

}  // namespace vq
