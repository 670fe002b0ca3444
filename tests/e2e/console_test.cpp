// The console edition, run as the fleet tools run it, its output decoded and
// parsed as each of them decodes and parses it.
#include <windows.h>

#include <gtest/gtest.h>

#include <shlobj.h>
#include <wincrypt.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace vq::e2e {
namespace {

using Rows = std::vector<std::vector<std::wstring>>;

// Rows of separated values as a strict reader takes them (RFC 4180, CRLF
// rows, doubled quotes); nullopt when the text is malformed.
std::optional<Rows> ReadSeparated(const std::wstring& text, wchar_t separator) {
  Rows rows(1, std::vector<std::wstring>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    std::wstring& field = rows.back().back();
    if (quoted) {
      if (c != L'"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == L'"') {
        field += c, ++i;
      } else {
        quoted = false;
      }
    } else if (c == L'"') {
      if (!field.empty()) return std::nullopt;  // a quote inside an unquoted field
      quoted = true;
    } else if (c == separator) {
      rows.back().emplace_back();
    } else if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
      rows.emplace_back(1), ++i;
    } else if (c == L'\r' || c == L'\n') {
      return std::nullopt;  // a line break outside quotes that ends no row
    } else {
      field += c;
    }
  }
  if (quoted) return std::nullopt;
  if (rows.back() == std::vector<std::wstring>(1)) rows.pop_back();  // after the last row's CRLF
  return rows;
}

int Column(const std::vector<std::wstring>& header, const std::wstring& name) {
  const auto it = std::find(header.begin(), header.end(), name);
  return it == header.end() ? -1 : static_cast<int>(it - header.begin());
}

class ConsoleEdition : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearAutorunKeys();
    WriteRegistryText(HKEY_CURRENT_USER, run, kForger, L"C:\\evil.exe");
    WriteRegistryText(HKEY_CURRENT_USER, run, L"Tool", L"\"C:\\windows\\system32\\winver.exe\" /x");
  }
  void TearDown() override { ClearAutorunKeys(); }

  // Runs the command line; the CSV it wrote (to standard output, or to the file
  // named) must read back with every row as wide as the header.
  Rows CsvOf(const std::wstring& arguments, const std::wstring& file = L"") {
    const ConsoleRun ran = RunConsole(arguments);
    EXPECT_EQ(ran.exitCode, 0u) << Narrow(arguments) << ": " << ran.err;
    EXPECT_EQ(ran.err.empty(), arguments.find(L"nobanner") != std::wstring::npos) << "the banner goes to standard error";
    const std::string bytes = file.empty() ? ran.out : ReadFileBytes(file).value_or("");
    if (!file.empty()) {
      EXPECT_TRUE(ran.out.empty());
    }
    const std::optional<std::wstring> text = FromMarkedUtf16(bytes);
    EXPECT_TRUE(text) << Narrow(arguments) << ": UTF-16LE after its mark";
    const std::optional<Rows> rows = text ? ReadSeparated(*text, L',') : std::nullopt;
    EXPECT_TRUE(rows && !rows->empty()) << Narrow(arguments);
    if (!rows || rows->empty()) return {};
    for (const auto& row : *rows) EXPECT_EQ(row.size(), rows->front().size()) << Narrow(arguments);
    return *rows;
  }
  static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

  // A value name that would forge a row or a column if it were not quoted.
  static constexpr wchar_t kForger[] = L"Evil,\"x\"\r\nHKLM\\forged,row\tcol";
  const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
};

TEST_F(ConsoleEdition, FleetCommandLinesRunUnchangedAndNoNameForgesARow) {
  const std::wstring lines[] = {
      L"-nobanner -accepteula -t -a * -s -c -h *", L"-nobanner -accepteula -t -a * \"\" -c -h *",
      L"/accepteula -a * -c -h -s *",             L"-nobanner /accepteula -a * -c -h -s -v -vt",
      L"-a * -s -c -accepteula -nobanner -h *",   L"-accepteula -c -h -s -t -a * *",
  };
  for (const std::wstring& line : lines) {
    const Rows rows = CsvOf(line);
    if (rows.empty()) continue;
    const auto& header = rows.front();
    EXPECT_EQ(Column(header, L"Time"), 0) << Narrow(line);
    EXPECT_EQ(Column(header, L"Signer") >= 0, line.find(L"-s") != std::wstring::npos) << Narrow(line);
    EXPECT_EQ(Column(header, L"VT detection") >= 0, line.find(L"-v") != std::wstring::npos) << Narrow(line);
    EXPECT_EQ(header.back(), L"IMP") << Narrow(line);
    const int entry = Column(header, L"Entry"), location = Column(header, L"Entry Location");
    int forged = 0, tools = 0, fakes = 0;
    for (const auto& row : rows) {
      forged += row[entry] == kForger;
      tools += row[entry] == L"Tool" && row[location] == L"HKCU\\" + run;
      fakes += row[location].starts_with(L"HKLM\\forged");
    }
    EXPECT_EQ(forged, 1) << Narrow(line);
    EXPECT_EQ(tools, 1) << Narrow(line);
    EXPECT_EQ(fakes, 0) << Narrow(line);
  }
  // To a file named with -o, and nothing on standard output.
  TempFolder folder;
  const std::wstring file = folder.path() + L"\\autoruns.csv";
  EXPECT_GT(CsvOf(L"-c -h -s * -o \"" + file + L"\"", file).size(), 2u);
}

// Scheduled tasks under -a t: one "Task Scheduler" location, each task by its
// full path, a switched-off one disabled, and -j naming the task exactly.
TEST_F(ConsoleEdition, ScheduledTasksWhereTheFleetToolsLookForThem) {
  if (!OnWine()) GTEST_SKIP() << "writes the machine's task store: under Wine only";
  const std::wstring folder = ShellFolder(CSIDL_SYSTEM) + L"\\Tasks\\VqConsole";
  ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  const std::wstring xml = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><Task xmlns=\"http://schemas.microsoft.com/"
                           L"windows/2004/02/mit/task\"><Settings><Enabled>false</Enabled></Settings><Actions><Exec>"
                           L"<Command>%windir%\\system32\\winver.exe</Command><Arguments>/x</Arguments></Exec>"
                           L"</Actions></Task>";
  WriteFileBytes(folder + L"\\Off", "\xFF\xFE" + Utf16Bytes(xml, false));
  const Rows rows = CsvOf(L"-nobanner -a t -c");
  EmptyFolder(folder);
  ::RemoveDirectoryW(folder.c_str());
  ASSERT_FALSE(rows.empty());
  const auto& header = rows.front();
  const int entry = Column(header, L"Entry"), location = Column(header, L"Entry Location");
  int found = 0;
  for (const auto& row : rows) {
    if (row == header) continue;
    EXPECT_EQ(row[location], L"Task Scheduler");
    EXPECT_EQ(row[Column(header, L"Category")], L"Tasks");
    if (row[entry] != L"\\VqConsole\\Off") continue;
    ++found;
    EXPECT_EQ(row[Column(header, L"Enabled")], L"disabled");
    EXPECT_EQ(row[Column(header, L"Launch String")], L"%windir%\\system32\\winver.exe /x");
    EXPECT_EQ(row[Column(header, L"Image Path")], L"C:\\windows\\system32\\winver.exe");
    EXPECT_EQ(row[Column(header, L"Profile")], L"System-wide");
  }
  EXPECT_EQ(found, 1);
}

// Services as Windows will start them under -a s, from the service control
// manager: an automatic one that is not running, a kernel driver of system
// start; not a demand-start one that is stopped, nor a disabled one.
TEST_F(ConsoleEdition, ServicesAndDriversWindowsWillStart) {
  struct Installed {
    const wchar_t* name;
    DWORD type, start;
    const wchar_t* path;
    bool listed;
  };
  const Installed installed[] = {
      {L"VqAutoStopped", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, L"\"C:\\vq missing\\auto.exe\" -k", true},
      {L"VqDemandStopped", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, L"C:\\vq\\demand.exe", false},
      {L"VqDisabled", SERVICE_WIN32_SHARE_PROCESS, SERVICE_DISABLED, L"C:\\vq\\off.exe", false},
      {L"VqDriver", SERVICE_KERNEL_DRIVER, SERVICE_SYSTEM_START, L"System32\\drivers\\vqdrv.sys", true},
  };
  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
  ASSERT_NE(manager, nullptr);
  for (const Installed& service : installed) {
    SC_HANDLE made = ::CreateServiceW(manager, service.name, service.name, SERVICE_ALL_ACCESS, service.type,
                                      service.start, SERVICE_ERROR_IGNORE, service.path, nullptr, nullptr, nullptr,
                                      nullptr, nullptr);
    EXPECT_NE(made, nullptr) << Narrow(service.name);
    if (made) ::CloseServiceHandle(made);
  }
  const Rows rows = CsvOf(L"-nobanner -a s -c");
  for (const Installed& service : installed) {
    if (SC_HANDLE made = ::OpenServiceW(manager, service.name, DELETE)) {
      ::DeleteService(made);
      ::CloseServiceHandle(made);
    }
  }
  ::CloseServiceHandle(manager);
  ASSERT_FALSE(rows.empty());
  const auto& header = rows.front();
  const int entry = Column(header, L"Entry"), category = Column(header, L"Category");
  std::map<std::wstring, std::vector<std::wstring>> byName;
  for (const auto& row : rows) {
    if (&row == &rows.front() || row[entry].empty()) continue;
    EXPECT_TRUE(row[category] == L"Services" || row[category] == L"Drivers") << Narrow(row[entry]);
    EXPECT_EQ(row[Column(header, L"Entry Location")], L"HKLM\\System\\CurrentControlSet\\Services");
    byName[row[entry]] = row;
  }
  for (const Installed& service : installed) EXPECT_EQ(byName.count(service.name), service.listed) << Narrow(service.name);
  if (byName.count(L"VqAutoStopped")) {
    const auto& row = byName[L"VqAutoStopped"];
    EXPECT_EQ(row[category], L"Services");
    EXPECT_EQ(row[Column(header, L"Launch String")], L"\"C:\\vq missing\\auto.exe\" -k");
    EXPECT_EQ(row[Column(header, L"Image Path")], L"File not found: C:\\vq missing\\auto.exe");
    EXPECT_EQ(row[Column(header, L"Description")], L"VqAutoStopped:");
    EXPECT_EQ(row[Column(header, L"Enabled")], L"enabled");
  }
  if (byName.count(L"VqDriver")) {
    EXPECT_EQ(byName[L"VqDriver"][category], L"Drivers");
    EXPECT_EQ(byName[L"VqDriver"][Column(header, L"Image Path")],
              L"File not found: C:\\windows\\System32\\drivers\\vqdrv.sys");
  }
  // Wine's own, as Wine configures them: its automatic services, and its drivers that are not disabled.
  EXPECT_TRUE(byName.count(L"RpcSs") || byName.count(L"PlugPlay")) << "Wine's own automatic services";
}

// Each collector's own decoding and parsing, as its published script or
// reader does it.
TEST_F(ConsoleEdition, EachFleetToolDecodesAndParsesTheOutput) {
  // Velociraptor: utf16() keeps the mark as U+FEFF; its newer CSV reader
  // drops it, the older one names the first column with it. Both need every
  // row as wide as the header.
  const ConsoleRun velociraptor = RunConsole(L"-nobanner -accepteula -t -a * -s -c -h *");
  std::wstring decoded((velociraptor.out.size()) / 2, L'\0');
  std::memcpy(decoded.data(), velociraptor.out.data(), decoded.size() * sizeof(wchar_t));
  ASSERT_FALSE(decoded.empty());
  EXPECT_EQ(decoded[0], L'\uFEFF');
  const std::optional<Rows> rows = ReadSeparated(decoded.substr(1), L',');
  ASSERT_TRUE(rows);
  for (const auto& row : *rows) {
    ASSERT_EQ(row.size(), 18u);
    if (&row == &rows->front()) continue;  // the header
    const std::wstring& time = row[0];
    const bool utc = time.size() == 15 && time[8] == L'-' &&
                     std::all_of(time.begin(), time.end(), [](wchar_t c) { return c == L'-' || (c >= L'0' && c <= L'9'); });
    EXPECT_TRUE(time.empty() || utc) << "-t: YYYYMMDD-hhmmss";
  }
  EXPECT_EQ(ReadSeparated(decoded, L',')->front().front(), L"\uFEFFTime") << "the older reader's first column";

  // Kansa and KAPE: PowerShell takes the mark for UTF-16LE, then
  // ConvertFrom-Csv names the columns after the header.
  const ConsoleRun kansa = RunConsole(L"/accepteula -a * -c -h -s * -nobanner");
  const std::optional<Rows> kansaRows = ReadSeparated(FromMarkedUtf16(kansa.out).value_or(L"\""), L',');
  ASSERT_TRUE(kansaRows);
  const int launch = Column(kansaRows->front(), L"Launch String"), image = Column(kansaRows->front(), L"Image Path");
  ASSERT_GE(launch, 0);
  ASSERT_GE(image, 0);
  bool found = false;
  for (const auto& row : *kansaRows) {
    if (row[launch] != L"\"C:\\windows\\system32\\winver.exe\" /x") continue;
    found = true;
    EXPECT_EQ(row[image], L"C:\\windows\\system32\\winver.exe");
  }
  EXPECT_TRUE(found);

  // Wazuh's script strips the spaces from the header line before Import-Csv.
  const ConsoleRun wazuh = RunConsole(L"-nobanner /accepteula -a * -c -h -s -v -vt");
  std::wstring header = FromMarkedUtf16(wazuh.out).value_or(L"");
  header = header.substr(0, header.find(L"\r\n"));
  std::erase(header, L' ');
  EXPECT_EQ(header, L"Time,EntryLocation,Entry,Enabled,Category,Profile,Description,Signer,Company,ImagePath,Version,"
                    L"LaunchString,VTdetection,VTpermalink,MD5,SHA-1,PESHA-1,PESHA-256,SHA-256,IMP");

  // DFIR-ORC reads UTF-16 and drops all before the first '<', then takes
  // <autoruns> and its <item>s by their element names; the exit code must be 0.
  const ConsoleRun orc = RunConsole(L"/accepteula -t -h -x -a *");
  EXPECT_EQ(orc.exitCode, 0u);
  std::wstring xml = FromMarkedUtf16(orc.out).value_or(L"");
  xml.erase(0, xml.find(L'<'));
  EXPECT_TRUE(xml.starts_with(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<autoruns>\r\n"));
  EXPECT_NE(xml.find(L"<itemname>Evil,&quot;x&quot;&#13;\n"), std::wstring::npos) << "every character escaped or kept";
  for (const wchar_t* element : {L"location", L"itemname", L"enabled", L"launchstring", L"profile", L"imagepath",
                                 L"time", L"md5hash", L"sha256hash", L"impHash"}) {
    EXPECT_NE(xml.find(std::wstring(L"<") + element + L">"), std::wstring::npos) << Narrow(element);
  }
  EXPECT_TRUE(xml.ends_with(L"</autoruns>\r\n"));
}

TEST_F(ConsoleEdition, UsageFailuresAndAReaderThatStopsEarly) {
  for (const wchar_t* wrong : {L"-q", L"-c -x", L"-a", L"-z C:\\Windows C:\\Users\\Ann"}) {
    const ConsoleRun ran = RunConsole(wrong);
    EXPECT_EQ(ran.exitCode, 2u) << Narrow(wrong);
    EXPECT_TRUE(ran.out.empty()) << Narrow(wrong);
    EXPECT_NE(ran.err.find("Usage: VellorinQuadeC"), std::string::npos) << Narrow(wrong);
  }
  EXPECT_NE(RunConsole(L"-z C:\\Windows C:\\Users\\Ann").err.find("-z"), std::string::npos);

  // A user it cannot list is reported; what can be read is still written.
  const ConsoleRun other = RunConsole(L"-nobanner -c No-Such-User");
  EXPECT_EQ(other.exitCode, 1u);
  EXPECT_NE(other.err.find("No-Such-User"), std::string::npos);
  // The machine's entries, and no other user's in place of the one named.
  EXPECT_NE(FromMarkedUtf16(other.out).value_or(L"").find(L"Entry Location"), std::wstring::npos);
  EXPECT_EQ(FromMarkedUtf16(other.out).value_or(L"").find(L"\"Tool\""), std::wstring::npos);

  // A reader that closes the pipe unread ends the run quietly, with 0.
  const ConsoleRun stopped = RunConsole(L"-nobanner -a * -c", false);
  EXPECT_EQ(stopped.exitCode, 0u);
  EXPECT_TRUE(stopped.err.empty()) << stopped.err;

  // JSON Lines: UTF-8, an object a line, with the exact identity.
  const ConsoleRun json = RunConsole(L"-nobanner -j");
  EXPECT_EQ(json.exitCode, 0u);
  const std::size_t tool = json.out.find("\"entry\":\"Tool\"");
  ASSERT_NE(tool, std::string::npos) << json.out;
  const std::size_t line = json.out.rfind('\n', tool) + 1;
  const std::string object = json.out.substr(line, json.out.find("\r\n", tool) - line);
  EXPECT_TRUE(object.starts_with("{\"time\":") && object.ends_with("}}")) << object;
  EXPECT_NE(object.find("\"identity\":{\"kind\":\"registry value\",\"hive\":\"HKEY_CURRENT_USER\","
                        "\"key\":\"Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\",\"name\":\"Tool\","
                        "\"removal\":\"delete\"}"),
            std::string::npos)
      << object;
}

// The test authority in the machine's Root store while it lives, so that the
// test signer's chain ends in a trusted root as a real one's does.
class TrustedTestRoot {
 public:
  explicit TrustedTestRoot(const std::string& der) {
    store_ = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (store_) {
      ::CertAddEncodedCertificateToStore(store_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, &added_);
    }
  }
  ~TrustedTestRoot() {
    if (added_) ::CertDeleteCertificateFromStore(added_);  // frees the context too
    if (store_) ::CertCloseStore(store_, 0);
  }
  TrustedTestRoot(const TrustedTestRoot&) = delete;
  TrustedTestRoot& operator=(const TrustedTestRoot&) = delete;
  bool added() const { return added_ != nullptr; }

 private:
  HCERTSTORE store_ = nullptr;
  PCCERT_CONTEXT added_ = nullptr;
};

// expected.txt: a file's name, then name=value pairs, a line a file.
std::map<std::wstring, std::map<std::wstring, std::wstring>> ReadExpected(const std::string& text) {
  std::map<std::wstring, std::map<std::wstring, std::wstring>> expected;
  std::wistringstream lines(std::wstring(text.begin(), text.end()));
  for (std::wstring line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    std::wistringstream words(line);
    std::wstring file, pair;
    words >> file;
    while (words >> pair) expected[file][pair.substr(0, pair.find(L'='))] = pair.substr(pair.find(L'=') + 1);
  }
  return expected;
}

// Who signed each program and its hashes, against what the test images'
// maker worked out apart from the program (hashlib, pefile, osslsigncode).
// The signed copy verifies; the same bytes with one changed do not; the
// unsigned copy has no signature. The console edition's own version texts
// come from its version resource.
TEST_F(ConsoleEdition, SignersHashesAndVersionTextsOfEachProgram) {
  const std::wstring images = BuildFolder() + L"\\tests\\e2e\\images";
  const std::optional<std::string> listed = ReadFileBytes(images + L"\\expected.txt");
  if (!listed) GTEST_SKIP() << "no test images (they are made where the build runs on Linux)";
  const auto expected = ReadExpected(*listed);
  const TrustedTestRoot root(ReadFileBytes(images + L"\\test-root.cer").value_or(""));
  ASSERT_TRUE(root.added());
  ClearAutorunKeys();
  for (const wchar_t* name : {L"unsigned", L"signed", L"tampered"}) {
    WriteRegistryText(HKEY_CURRENT_USER, run, name, L"\"" + images + L"\\" + name + L".exe\" /x");
  }
  WriteRegistryText(HKEY_CURRENT_USER, run, L"signed again", images + L"\\SIGNED.EXE");
  WriteRegistryText(HKEY_CURRENT_USER, run, L"own", ConsoleProgramPath());

  const Rows rows = CsvOf(L"-nobanner -a * -c -h -s *");
  ASSERT_GT(rows.size(), 1u);
  const auto& header = rows.front();
  std::map<std::wstring, std::map<std::wstring, std::wstring>> listedBy;  // entry -> column -> text
  for (const auto& row : rows) {
    if (&row == &rows.front() || row[Column(header, L"Entry Location")] != L"HKCU\\" + run) continue;
    for (std::size_t column = 0; column < header.size(); ++column) listedBy[row[2]][header[column]] = row[column];
  }
  const std::pair<const wchar_t*, const wchar_t*> hashes[] = {{L"MD5", L"md5"},         {L"SHA-1", L"sha1"},
                                                              {L"SHA-256", L"sha256"},  {L"PESHA-1", L"pesha1"},
                                                              {L"PESHA-256", L"pesha256"}, {L"IMP", L"imp"}};
  for (const wchar_t* name : {L"unsigned", L"signed", L"tampered"}) {
    const auto& want = expected.at(std::wstring(name) + L".exe");
    for (const auto& [column, key] : hashes) {
      EXPECT_EQ(listedBy[name][column], want.at(key)) << Narrow(name) << " " << Narrow(column);
    }
    EXPECT_EQ(listedBy[name][L"Description"], L"Vellorin Quade console edition");
  }
  EXPECT_EQ(listedBy[L"signed"][L"PESHA-256"], expected.at(L"signed.exe").at(L"signature"))
      << "the Authenticode hash is what the signature signs";
  EXPECT_EQ(listedBy[L"signed"][L"Signer"], L"(Verified) Vellorin Test Signer");
  EXPECT_EQ(listedBy[L"signed again"][L"Signer"], L"(Verified) Vellorin Test Signer");
  EXPECT_TRUE(listedBy[L"unsigned"][L"Signer"].starts_with(L"(Not verified) ")) << Narrow(listedBy[L"unsigned"][L"Signer"]);
  EXPECT_EQ(listedBy[L"tampered"][L"Signer"], L"(Not verified) The digital signature of the object did not verify");
  EXPECT_EQ(listedBy[L"own"][L"Description"], L"Vellorin Quade console edition");
  EXPECT_EQ(listedBy[L"own"][L"Company"], L"Marrowfen");
  EXPECT_EQ(listedBy[L"own"][L"Version"], L"1.0.0");

  // -u lists only what is not verified.
  std::vector<std::wstring> unverified;
  for (const auto& row : CsvOf(L"-nobanner -a l -c -s -u")) {
    if (row[1] == L"HKCU\\" + run) unverified.push_back(row[2]);  // Entry Location, Entry
  }
  EXPECT_EQ(std::count(unverified.begin(), unverified.end(), L"signed"), 0);
  EXPECT_EQ(std::count(unverified.begin(), unverified.end(), L"tampered"), 1);
  EXPECT_EQ(std::count(unverified.begin(), unverified.end(), L"unsigned"), 1);
}

void EnablePrivilege(const wchar_t* name) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return;
  TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
  if (::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
    ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  ::CloseHandle(token);
}

// Every profile with "*": the prefix's own user once (as HKCU, not again below
// HKEY_USERS), and a second profile whose hive is not loaded, made here from
// a saved hive file and a ProfileList entry: its hive is loaded for the run
// from a copy, its entries listed by its SID with its own Startup folder, and
// nothing of it is left loaded afterwards, nor its file changed.
TEST_F(ConsoleEdition, EveryProfileWithTheTrailingStar) {
  const std::wstring sid = L"S-1-5-21-9-9-9-4321";
  const std::wstring profiles = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
  TempFolder folder;
  const std::wstring hiveFile = folder.path() + L"\\NTUSER.DAT";
  {
    // The hive: a Run value and a Startup folder by the profile's own %USERPROFILE%.
    const std::wstring seed = L"Software\\VellorinQuadeTestHive";
    WriteRegistryText(HKEY_CURRENT_USER, seed + L"\\" + run, L"ProfileTool", L"C:\\profile-tool.exe");
    WriteRegistryText(HKEY_CURRENT_USER, seed + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                      L"Startup", L"%USERPROFILE%\\Start", REG_EXPAND_SZ);
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, seed.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    EnablePrivilege(SE_BACKUP_NAME);  // saving a hive takes it, as on Windows
    const LSTATUS saved = ::RegSaveKeyW(key, hiveFile.c_str(), nullptr);
    ::RegCloseKey(key);
    DeleteRegistryKey(HKEY_CURRENT_USER, seed);
    ASSERT_EQ(saved, ERROR_SUCCESS);
  }
  ::CreateDirectoryW((folder.path() + L"\\Start").c_str(), nullptr);
  WriteFileBytes(folder.path() + L"\\Start\\profile.lnk", "x");
  WriteRegistryText(HKEY_LOCAL_MACHINE, profiles + sid, L"ProfileImagePath", folder.path(), REG_EXPAND_SZ);
  const std::optional<std::string> hiveBefore = ReadFileBytes(hiveFile);

  const Rows rows = CsvOf(L"-nobanner -a l -c *");
  DeleteRegistryKey(HKEY_LOCAL_MACHINE, profiles + sid);
  ASSERT_GT(rows.size(), 1u);
  const int location = Column(rows.front(), L"Entry Location"), profile = Column(rows.front(), L"Profile");
  int tools = 0, own = 0;
  std::wstring profileTool, profileLink;
  for (const auto& row : rows) {
    tools += row[2] == L"Tool";
    own += row[2] == L"Tool" && row[location] == L"HKCU\\" + run;
    if (row[2] == L"ProfileTool") profileTool = row[location] + L"|" + row[profile];
    if (row[2] == L"profile.lnk") profileLink = row[location] + L"|" + row[profile];
  }
  EXPECT_EQ(tools, 1) << "the prefix's user once";
  EXPECT_EQ(own, 1);
  EXPECT_EQ(profileTool, L"HKU\\" + sid + L"\\" + run + L"|" + sid);
  EXPECT_EQ(profileLink, folder.path() + L"\\Start|" + sid);
  HKEY left = nullptr;
  EXPECT_NE(::RegOpenKeyExW(HKEY_USERS, (L"VellorinQuade-" + sid).c_str(), 0, KEY_READ, &left), ERROR_SUCCESS)
      << "nothing left loaded";
  if (left) ::RegCloseKey(left);
  EXPECT_EQ(ReadFileBytes(hiveFile), hiveBefore) << "the profile's own file untouched";
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH + 1, temp);
  WIN32_FIND_DATAW found{};
  const HANDLE copies = ::FindFirstFileW((std::wstring(temp) + L"VellorinQuade-hive-*").c_str(), &found);
  EXPECT_EQ(copies, INVALID_HANDLE_VALUE) << "the copy of the hive deleted";
  if (copies != INVALID_HANDLE_VALUE) ::FindClose(copies);
}

}  // namespace
}  // namespace vq::e2e
