#include "platform/win32/win32_image_files.h"

#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/failure.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_failure.h"

namespace vq::win32 {

namespace {

// How long a share may take to hand over a file before it counts as not answering.
constexpr DWORD kShareAnswerTime = 5000;
// How long a call that was called off is given to end.
constexpr DWORD kCallOffTime = 1000;
constexpr std::size_t kReadChunk = 1 << 20;

// Larger files are not read: a program is far smaller, and a planted giant
// must not take the machine's memory.
constexpr std::int64_t kLargestImage = 512ll << 20;

UniqueFileHandle OpenForReading(const std::wstring& path, bool diskOnly) {
  // Read rights, as the trust checks map the file to read it; no one may
  // write it while it is hashed and checked; a file kept in the cloud or on
  // tape is not fetched; a folder does not open without backup semantics; a
  // pipe's server may identify its client but never act as it.
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_NO_RECALL | SECURITY_SQOS_PRESENT |
                                          SECURITY_IDENTIFICATION,
                                      nullptr));
  if (!file) ThrowLastError("CreateFileW");
  // A pipe or a device is no program, and a read from it could wait for ever.
  if (diskOnly && ::GetFileType(file.get()) != FILE_TYPE_DISK) throw Failure("Not a file on a disk");
  LARGE_INTEGER size{};
  if (diskOnly && ::GetFileSizeEx(file.get(), &size) && size.QuadPart > kLargestImage) {
    throw Failure("Too large for a program (" + std::to_string(size.QuadPart >> 20) + " MB)");
  }
  return file;
}

// Everything from the start to the end, however the file's length reads.
std::string ReadToEnd(HANDLE file) {
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && ::GetFileType(file) == FILE_TYPE_DISK) {
    ThrowLastError("SetFilePointerEx");
  }
  std::string bytes;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file, &size) && size.QuadPart > 0) bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  for (;;) {
    const std::size_t done = bytes.size();
    bytes.resize(done + kReadChunk);
    DWORD read = 0;
    if (!::ReadFile(file, bytes.data() + done, static_cast<DWORD>(kReadChunk), &read, nullptr)) {
      const DWORD error = ::GetLastError();
      bytes.resize(done);
      if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) break;
      throw Win32Failure("ReadFile", error);
    }
    bytes.resize(done + read);
    if (read == 0) break;
  }
  return bytes;
}

// The share a path is on, lower-cased, when it is on one: "\\server\share" or
// a mapped drive's "x:"; empty for a local volume.
std::wstring ShareOf(const std::wstring& path) {
  std::wstring lower = path;
  for (wchar_t& c : lower) c = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
  std::wstring_view rest = lower;
  if (rest.starts_with(L"\\\\?\\unc\\")) {
    rest.remove_prefix(8);
  } else if (rest.starts_with(L"\\\\?\\")) {
    rest.remove_prefix(4);
  } else if (rest.starts_with(L"\\\\") && !rest.starts_with(L"\\\\.\\")) {
    rest.remove_prefix(2);
  } else {
    rest = {};
  }
  if (lower.starts_with(L"\\\\") && !rest.empty() && !(rest.size() >= 2 && rest[1] == L':')) {
    const std::size_t server = rest.find(L'\\');
    const std::size_t share = server == std::wstring_view::npos ? server : rest.find(L'\\', server + 1);
    return L"\\\\" + std::wstring(rest.substr(0, share));
  }
  const std::wstring_view drive = rest.empty() ? std::wstring_view(lower) : rest;
  if (drive.size() >= 2 && drive[1] == L':') {
    const std::wstring root = std::wstring(drive.substr(0, 2)) + L"\\";
    if (::GetDriveTypeW(root.c_str()) == DRIVE_REMOTE) return std::wstring(drive.substr(0, 2));
  }
  return L"";
}

// What the thread that opens and reads shares with the caller: whichever of
// the two lets go last frees it, and with it closes the file.
struct ReadJob {
  std::wstring path;
  bool diskOnly = true;
  std::optional<FileRead> result;
  std::optional<Failure> failure;
};

DWORD WINAPI RunReadJob(void* parameter) {
  const std::unique_ptr<std::shared_ptr<ReadJob>> job(static_cast<std::shared_ptr<ReadJob>*>(parameter));
  try {
    FileRead read{OpenForReading((*job)->path, (*job)->diskOnly), {}};
    read.bytes = ReadToEnd(read.handle.get());
    (*job)->result = std::move(read);
  } catch (const Failure& failure) {
    (*job)->failure = failure;
  } catch (const std::bad_alloc&) {
    (*job)->failure = Failure("Not enough memory to read the file");
  }
  return 0;
}

// One WinVerifyTrust check, its state closed again on every path.
class TrustCheck {
 public:
  explicit TrustCheck(WINTRUST_DATA& data) : data_(data) {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    data_.cbStruct = sizeof data_;
    data_.dwUIChoice = WTD_UI_NONE;
    // Revocation is never fetched: an offline machine would wait minutes a file.
    data_.fdwRevocationChecks = WTD_REVOKE_NONE;
    data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
    data_.dwStateAction = WTD_STATEACTION_VERIFY;
    // INVALID_HANDLE_VALUE as the window: no UI, ever.
    status_ = static_cast<std::uint32_t>(::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data_));
  }
  ~TrustCheck() {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data_);
  }
  TrustCheck(const TrustCheck&) = delete;
  TrustCheck& operator=(const TrustCheck&) = delete;

  TrustVerdict Verdict() const {
    TrustVerdict verdict;
    verdict.status = status_;
    verdict.signer = SignerName();
    if (status_ != 0) verdict.reason = TrustMessage(status_);
    return verdict;
  }

 private:
  // The name on the certificate that signed, as people know it ("Microsoft Windows").
  std::string SignerName() const {
    if (!data_.hWVTStateData) return "";
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data_.hWVTStateData);
    CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert) return "";
    const PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
    const DWORD length = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (length <= 1) return "";
    std::wstring name(length, L'\0');
    ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), length);
    name.resize(length - 1);
    return Narrow(name);
  }

  // The system's text for the result; where it has none (Wine has few), the
  // words Windows gives the results a signer check most often meets.
  static std::string TrustMessage(std::uint32_t status) {
    static constexpr std::pair<std::uint32_t, const char*> kKnown[] = {
        {0x800B0100, "No signature was present in the subject"},
        {0x80096010, "The digital signature of the object did not verify"},
        {0x800B0109, "A certificate chain processed, but terminated in a root certificate which is not trusted by "
                     "the trust provider"},
        {0x800B0101, "A required certificate is not within its validity period"},
        {0x800B010C, "A certificate was explicitly revoked by its issuer"},
        {0x800B0111, "The certificate was explicitly marked as untrusted by the user"},
    };
    std::string text = SystemMessage(status);
    if (text.starts_with("Error ")) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
      text = std::string("Error ") + code;
      for (const auto& [known, words] : kKnown) {
        if (known == status) text = words;
      }
    }
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    return text;
  }

  WINTRUST_DATA& data_;
  std::uint32_t status_ = 0;
};

// A catalog the system found for a hash, given back on every path.
class CatalogEntry {
 public:
  CatalogEntry(HCATADMIN admin, HCATINFO info) : admin_(admin), info_(info) {}
  ~CatalogEntry() {
    if (info_) ::CryptCATAdminReleaseCatalogContext(admin_, info_, 0);
  }
  CatalogEntry(const CatalogEntry&) = delete;
  CatalogEntry& operator=(const CatalogEntry&) = delete;
  HCATINFO get() const { return info_; }

 private:
  HCATADMIN admin_;
  HCATINFO info_;
};

// Windows 8 brought catalogs that list SHA-256 hashes and the calls that take
// them; before it (and under Wine) only the SHA-1 calls are there.
struct CatalogCalls {
  using AcquireContext2 = BOOL(WINAPI*)(HCATADMIN*, const GUID*, const WCHAR*, const CERT_STRONG_SIGN_PARA*, DWORD);
  using CalcHash2 = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);
  AcquireContext2 acquireContext2 = nullptr;
  CalcHash2 calcHash2 = nullptr;

  static const CatalogCalls& Get() {
    static const CatalogCalls calls = [] {
      CatalogCalls found;
      const HMODULE wintrust = ::GetModuleHandleW(L"wintrust.dll");
      found.acquireContext2 = reinterpret_cast<AcquireContext2>(
          reinterpret_cast<void*>(::GetProcAddress(wintrust, "CryptCATAdminAcquireContext2")));
      found.calcHash2 = reinterpret_cast<CalcHash2>(
          reinterpret_cast<void*>(::GetProcAddress(wintrust, "CryptCATAdminCalcHashFromFileHandle2")));
      return found;
    }();
    return calls;
  }
};

// The catalog admin for one hash algorithm; empty where the system has none for it.
UniqueCatalogAdmin CatalogAdmin(bool sha256) {
  const CatalogCalls& calls = CatalogCalls::Get();
  UniqueCatalogAdmin admin;
  if (calls.acquireContext2 && calls.calcHash2) {
    if (!calls.acquireContext2(admin.put(), nullptr, sha256 ? BCRYPT_SHA256_ALGORITHM : BCRYPT_SHA1_ALGORITHM,
                               nullptr, 0)) {
      admin.reset();
    }
  } else if (!sha256 && !::CryptCATAdminAcquireContext(admin.put(), nullptr, 0)) {
    admin.reset();
  }
  return admin;
}

// The file's hash as the catalogs list it, by the admin's algorithm; empty when it cannot be taken.
std::vector<BYTE> CatalogHash(HCATADMIN admin, HANDLE file) {
  const CatalogCalls& calls = CatalogCalls::Get();
  DWORD size = 0;
  const auto calc = [&](BYTE* hash) {
    return calls.calcHash2 ? calls.calcHash2(admin, file, &size, hash, 0)
                           : ::CryptCATAdminCalcHashFromFileHandle(file, &size, hash, 0);
  };
  calc(nullptr);
  if (size == 0) return {};
  std::vector<BYTE> hash(size);
  if (!calc(hash.data())) return {};
  hash.resize(size);
  return hash;
}

class Win32ImageFile final : public ImageFile {
 public:
  Win32ImageFile(std::wstring path, UniqueFileHandle file, std::optional<std::string> bytes)
      : path_(std::move(path)), file_(std::move(file)), bytes_(std::move(bytes)) {}

  std::string ReadAll() override {
    if (bytes_) return std::exchange(bytes_, std::nullopt).value();
    return ReadToEnd(file_.get());
  }

  TrustVerdict CheckEmbeddedSignature() override {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path_.c_str();
    file.hFile = file_.get();
    WINTRUST_DATA data{};
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    return TrustCheck(data).Verdict();
  }

  std::optional<TrustVerdict> CheckCatalogSignature() override {
    for (const bool sha256 : {true, false}) {
      const UniqueCatalogAdmin admin = CatalogAdmin(sha256);
      if (!admin) continue;
      std::vector<BYTE> hash = CatalogHash(admin.get(), file_.get());
      if (hash.empty()) continue;
      const CatalogEntry catalog(admin.get(), ::CryptCATAdminEnumCatalogFromHash(
                                                  admin.get(), hash.data(), static_cast<DWORD>(hash.size()), 0, nullptr));
      if (!catalog.get()) continue;
      CATALOG_INFO info{};
      info.cbStruct = sizeof info;
      if (!::CryptCATCatalogInfoFromContext(catalog.get(), &info, 0)) continue;
      // The catalog names its members by their hashes in upper-case hex.
      std::wstring tag;
      for (const BYTE b : hash) {
        wchar_t digits[3];
        std::swprintf(digits, 3, L"%02X", b);
        tag += digits;
      }
      WINTRUST_CATALOG_INFO member{};
      member.cbStruct = sizeof member;
      member.pcwszCatalogFilePath = info.wszCatalogFile;
      member.pcwszMemberFilePath = path_.c_str();
      member.pcwszMemberTag = tag.c_str();
      member.hMemberFile = file_.get();
      member.pbCalculatedFileHash = hash.data();
      member.cbCalculatedFileHash = static_cast<DWORD>(hash.size());
      member.hCatAdmin = admin.get();
      WINTRUST_DATA data{};
      data.dwUnionChoice = WTD_CHOICE_CATALOG;
      data.pCatalog = &member;
      return TrustCheck(data).Verdict();
    }
    return std::nullopt;
  }

 private:
  std::wstring path_;
  UniqueFileHandle file_;
  std::optional<std::string> bytes_;  // read already, where the file is on a share
};

const wchar_t* AlgorithmName(HashAlgorithm algorithm) {
  switch (algorithm) {
    case HashAlgorithm::Md5:
      return BCRYPT_MD5_ALGORITHM;
    case HashAlgorithm::Sha1:
      return BCRYPT_SHA1_ALGORITHM;
    case HashAlgorithm::Sha256:
      break;
  }
  return BCRYPT_SHA256_ALGORITHM;
}

void ThrowIfFailedNt(const char* call, NTSTATUS status) {
  if (status >= 0) return;
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
  throw Failure(std::string("Status ") + code + " (" + call + ")");
}

}  // namespace

std::optional<FileRead> OpenAndReadWithin(const std::wstring& path, DWORD milliseconds, bool diskOnly) {
  auto job = std::make_shared<ReadJob>();
  job->path = path;
  job->diskOnly = diskOnly;
  auto* forThread = new std::shared_ptr<ReadJob>(job);
  UniqueFileHandle thread(::CreateThread(nullptr, 0, &RunReadJob, forThread, 0, nullptr));
  if (!thread) {
    delete forThread;
    ThrowLastError("CreateThread");
  }
  if (::WaitForSingleObject(thread.get(), milliseconds) != WAIT_OBJECT_0) {
    // A read that ends the moment it is called off is as good as one in time;
    // one that fails then failed because it was called off.
    ::CancelSynchronousIo(thread.get());
    if (::WaitForSingleObject(thread.get(), kCallOffTime) != WAIT_OBJECT_0 || !job->result) return std::nullopt;
  }
  if (job->failure) throw *job->failure;
  return std::move(job->result);
}

std::unique_ptr<ImageFile> Win32ImageFiles::Open(const std::string& path) {
  std::wstring wide = Widen(path);
  const std::wstring share = ShareOf(wide);
  if (share.empty()) {
    UniqueFileHandle file = OpenForReading(wide, true);
    return std::make_unique<Win32ImageFile>(std::move(wide), std::move(file), std::nullopt);
  }
  if (silentShares_.contains(share)) throw Failure("The share did not answer: " + Narrow(share));
  std::optional<FileRead> read = OpenAndReadWithin(wide, kShareAnswerTime);
  if (!read) {
    silentShares_.insert(share);
    throw Failure("The share did not answer: " + Narrow(share));
  }
  return std::make_unique<Win32ImageFile>(std::move(wide), std::move(read->handle), std::move(read->bytes));
}

std::string Win32ImageFiles::Digest(HashAlgorithm algorithm, const std::vector<std::string_view>& pieces) {
  UniqueHashProvider& provider = providers_[algorithm];
  if (!provider) {
    ThrowIfFailedNt("BCryptOpenAlgorithmProvider",
                    ::BCryptOpenAlgorithmProvider(provider.put(), AlgorithmName(algorithm), nullptr, 0));
  }
  UniqueHash hash;
  ThrowIfFailedNt("BCryptCreateHash", ::BCryptCreateHash(provider.get(), hash.put(), nullptr, 0, nullptr, 0, 0));
  for (std::string_view piece : pieces) {
    while (!piece.empty()) {
      const ULONG size = static_cast<ULONG>(std::min<std::size_t>(piece.size(), 1u << 30));
      ThrowIfFailedNt("BCryptHashData",
                      ::BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(piece.data())), size, 0));
      piece.remove_prefix(size);
    }
  }
  DWORD length = 0;
  ULONG got = 0;
  ThrowIfFailedNt("BCryptGetProperty", ::BCryptGetProperty(hash.get(), BCRYPT_HASH_LENGTH,
                                                           reinterpret_cast<PUCHAR>(&length), sizeof length, &got, 0));
  std::string digest(length, '\0');
  ThrowIfFailedNt("BCryptFinishHash",
                  ::BCryptFinishHash(hash.get(), reinterpret_cast<PUCHAR>(digest.data()), length, 0));
  return digest;
}

}  // namespace vq::win32
