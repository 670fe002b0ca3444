// The console edition's fullest listing (-a * -c -h -s) against its floor,
// the least the same work can cost, measured in the same run: the sources
// read raw (as the refresh floor reads them) with one query of the services,
// and for each distinct program the entries name one read of the whole file
// with its hashes taken (MD5, SHA-1 and SHA-256 of the file, SHA-1 and
// SHA-256 again as the Authenticode hash takes nearly all of it), one read of
// its version resource and one WinVerifyTrust call.
// Seeds 10,000 Run values naming 200 distinct programs and 2,000 Startup files.
//   console_bench [runs]
#include <windows.h>

#include <bcrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <set>

#include "bench/bench_support.h"
#include "collectors/gathering.h"
#include "console/listing.h"
#include "console/service_entries.h"
#include "console/output.h"
#include "e2e/harness.h"
#include "platform/text.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

using namespace vq;
using namespace vq::bench;

namespace {

constexpr int kRunValues = 10000, kPrograms = 200, kStartupFiles = 2000;

// Run values naming kPrograms copies of one real program, each copy named by many values.
std::wstring SeedPrograms() {
  const std::wstring folder = e2e::BuildFolder() + L"\\bench\\programs";
  e2e::EmptyFolder(folder);
  const std::wstring source = e2e::BuildFolder() + L"\\tests\\vq_test_service.exe";
  for (int i = 0; i < kPrograms; ++i) {
    ::CopyFileW(source.c_str(), (folder + L"\\tool " + std::to_wstring(i) + L".exe").c_str(), FALSE);
  }
  for (int i = 0; i < kRunValues; ++i) {
    e2e::WriteRegistryText(HKEY_CURRENT_USER, kRun, L"Bench Value " + std::to_wstring(i),
                           L"\"" + folder + L"\\tool " + std::to_wstring(i % kPrograms) + L".exe\" /min");
  }
  return folder;
}

// The console listing as the program makes it, written to text.
double ListOnce(test::RealPlatform& real, std::set<std::wstring>& programs, std::size_t& entries, bool full = true) {
  ConsoleOptions options;
  options.categories = "*";
  options.format = OutputFormat::Csv;
  options.hashes = options.signatures = full;
  const auto start = Stopwatch::now();
  ConsoleListing listing(real.registry, real.shell, real.files, real.images, [](const std::string&) {});
  const Gathering gathering{listing, real.registry, real.shell, real.files, real.services, real.tasks};
  GetRegistryItems(gathering);
  GetStartup(gathering);
  GetSysFile(gathering);
  GetServiceEntries(gathering);
  const ConsoleWriter writer(options.format, full, full, false);
  std::string text = writer.Begin();
  const std::vector<ConsoleEntry> listed = listing.Entries(options);
  for (const ConsoleEntry& entry : listed) text += writer.Row(entry);
  text += writer.End();
  const double took = Ms(Stopwatch::now() - start);
  programs.clear();
  for (const ConsoleEntry& entry : listed) {
    if (!entry.imagePath.empty() && !entry.imagePath.starts_with("File not found: ")) {
      std::wstring path = win32::Widen(entry.imagePath);
      for (wchar_t& c : path) c = static_cast<wchar_t>(::towlower(c));
      programs.insert(path);
    }
  }
  entries = listed.size();
  return took;
}

// The service control manager's calls the listing of services makes: the
// services and drivers enumerated, and each one opened to query its
// configuration, description and delayed start.
void ReadServicesRaw() {
  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
  std::vector<BYTE> listing(256 * 1024), buffer(64 * 1024);
  DWORD needed = 0, returned = 0, resume = 0;
  ::EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32 | SERVICE_DRIVER, SERVICE_STATE_ALL,
                          listing.data(), static_cast<DWORD>(listing.size()), &needed, &returned, &resume, nullptr);
  const auto* listed = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(listing.data());
  for (DWORD i = 0; i < returned; ++i) {
    SC_HANDLE service = ::OpenServiceW(manager, listed[i].lpServiceName, SERVICE_QUERY_CONFIG);
    if (!service) continue;
    const DWORD size = static_cast<DWORD>(buffer.size());
    ::QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()), size, &needed);
    ::QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, buffer.data(), size, &needed);
    ::QueryServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, buffer.data(), size, &needed);
    ::CloseServiceHandle(service);
  }
  ::CloseServiceHandle(manager);
}

// The console's -a s -c, as the program makes it, written to text.
double ListServicesOnce(test::RealPlatform& real, std::size_t& entries) {
  ConsoleOptions options;
  options.categories = "s";
  options.format = OutputFormat::Csv;
  const auto start = Stopwatch::now();
  ConsoleListing listing(real.registry, real.shell, real.files, real.images, [](const std::string&) {});
  GetServiceEntries({listing, real.registry, real.shell, real.files, real.services, real.tasks});
  const ConsoleWriter writer(options.format, false, false, false);
  std::string text = writer.Begin();
  const std::vector<ConsoleEntry> listed = listing.Entries(options);
  for (const ConsoleEntry& entry : listed) text += writer.Row(entry);
  text += writer.End();
  entries = listed.size();
  return Ms(Stopwatch::now() - start);
}

void Hash(BCRYPT_ALG_HANDLE algorithm, const std::string& bytes) {
  BCRYPT_HASH_HANDLE hash = nullptr;
  ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
  ::BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), static_cast<ULONG>(bytes.size()), 0);
  UCHAR digest[32];
  DWORD length = 0;
  ULONG got = 0;
  ::BCryptGetProperty(hash, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof length, &got, 0);
  ::BCryptFinishHash(hash, digest, length, 0);
  ::BCryptDestroyHash(hash);
}

// The least the listing can cost: its sources read raw, and each program's
// read, hashes, version resource and trust check.
double Floor(test::RealPlatform& real, const std::set<std::wstring>& programs) {
  const auto start = Stopwatch::now();
  ReadSourcesRaw();
  ReadServicesRaw();
  BCRYPT_ALG_HANDLE md5 = nullptr, sha1 = nullptr, sha256 = nullptr;
  ::BCryptOpenAlgorithmProvider(&md5, BCRYPT_MD5_ALGORITHM, nullptr, 0);
  ::BCryptOpenAlgorithmProvider(&sha1, BCRYPT_SHA1_ALGORITHM, nullptr, 0);
  ::BCryptOpenAlgorithmProvider(&sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  for (const std::wstring& path : programs) {
    const std::string bytes = e2e::ReadFileBytes(path).value_or("");
    for (BCRYPT_ALG_HANDLE algorithm : {md5, sha1, sha256, sha1, sha256}) Hash(algorithm, bytes);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::string version(size, '\0');
    if (size) ::GetFileVersionInfoW(path.c_str(), 0, size, version.data());
    WINTRUST_FILE_INFO file{sizeof file, path.c_str(), nullptr, nullptr};
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  }
  for (BCRYPT_ALG_HANDLE algorithm : {md5, sha1, sha256}) ::BCryptCloseAlgorithmProvider(algorithm, 0);
  return Ms(Stopwatch::now() - start);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = argc > 1 ? _wtoi(argv[1]) : 5;
  vq::win32::ComApartment com;
  e2e::ClearAutorunKeys();
  const std::wstring folder = SeedPrograms();
  SeedStartupFiles(kStartupFiles);
  SeedSystemFiles(0);
  test::RealPlatform real;
  std::vector<double> program, floor, plain;
  std::set<std::wstring> programs, same;
  std::size_t entries = 0;
  for (int run = 0; run <= runs; ++run) {
    const double took = ListOnce(real, programs, entries);
    const double least = Floor(real, programs);
    const double plainTook = ListOnce(real, same, entries, false);
    if (run == 0) continue;  // warm-up
    program.push_back(took);
    floor.push_back(least);
    plain.push_back(plainTook);
  }
  std::printf("console -a * -c -h -s: %zu entries, %zu distinct programs\n", entries, programs.size());
  std::printf("  program %.1f ms, floor %.1f ms, ratio %.3f (median of %d)\n", Median(program), Median(floor),
              Median(program) / Median(floor), runs);
  std::printf("  the same listing without -h and -s (version texts and link times only): %.1f ms\n", Median(plain));

  // -a s -c over the prefix's services against the service control manager's own calls.
  std::vector<double> services, servicesFloor;
  std::size_t serviceEntries = 0;
  for (int run = 0; run <= runs; ++run) {
    const double took = ListServicesOnce(real, serviceEntries);
    const auto start = Stopwatch::now();
    ReadServicesRaw();
    const double least = Ms(Stopwatch::now() - start);
    if (run == 0) continue;
    services.push_back(took);
    servicesFloor.push_back(least);
  }
  std::printf("console -a s -c: %zu rows; program %.1f ms, floor %.1f ms, ratio %.3f (median of %d)\n", serviceEntries,
              Median(services), Median(servicesFloor), Median(services) / Median(servicesFloor), runs);
  e2e::ClearAutorunKeys();
  SeedStartupFiles(0);
  e2e::EmptyFolder(folder);
  return 0;
}
