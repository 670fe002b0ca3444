#include "platform/win32/win32_image_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include "e2e/harness.h"
#include "platform/failure.h"
#include "platform/text.h"
#include "platform/win32/text.h"

namespace vq::win32 {
namespace {

std::string Hex(const std::string& bytes) { return HexBytes(bytes); }

// The system's hashes against the published test vectors, over pieces as the
// Authenticode hash takes them: the pieces hash as one text.
TEST(Win32ImageFiles, DigestsMatchThePublishedVectorsAcrossPieces) {
  Win32ImageFiles images;
  EXPECT_EQ(Hex(images.Digest(HashAlgorithm::Md5, {"abc"})), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Hex(images.Digest(HashAlgorithm::Sha1, {"a", "", "bc"})), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Hex(images.Digest(HashAlgorithm::Sha256, {"ab", "c"})),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Hex(images.Digest(HashAlgorithm::Md5, {})), "d41d8cd98f00b204e9800998ecf8427e");
}

// A file opens and reads whole through the same handle the trust checks use;
// an unsigned file has no signature of its own and is in no catalog.
TEST(Win32ImageFiles, ReadsAFileWholeAndFindsNoSignatureOnPlainBytes) {
  e2e::TempFolder folder;
  const std::wstring path = folder.path() + L"\\plain \x0141.bin";
  std::string bytes(3 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  e2e::WriteFileBytes(path, bytes);
  Win32ImageFiles images;
  const auto file = images.Open(Narrow(path));
  EXPECT_EQ(file->ReadAll(), bytes) << "more than one read's worth";
  const TrustVerdict own = file->CheckEmbeddedSignature();
  EXPECT_NE(own.status, 0u);
  EXPECT_FALSE(own.reason.empty());
  EXPECT_FALSE(file->CheckCatalogSignature());
  EXPECT_THROW(images.Open(Narrow(folder.path() + L"\\missing.exe")), Failure);
  EXPECT_THROW(images.Open(Narrow(folder.path())), Failure) << "a folder is no program";
}

// A read that does not answer (a pipe no one writes to stands in for a share
// that does not) holds the caller for the bound, not for ever.
TEST(Win32ImageFiles, AReadThatDoesNotAnswerIsCalledOffInTime) {
  const std::wstring name = L"\\\\.\\pipe\\vq-silent-" + std::to_wstring(::GetCurrentProcessId());
  const HANDLE server = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                           4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const auto start = std::chrono::steady_clock::now();
  const HANDLE other = ::CreateNamedPipeW((name + L"-other").c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                          1, 4096, 4096, 0, nullptr);
  Win32ImageFiles images;
  EXPECT_THROW(images.Open(Narrow(name + L"-other")), Failure) << "a pipe is no program, and is never read";
  ::CloseHandle(other);
  const std::optional<FileRead> read = OpenAndReadWithin(name, 300, false);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(read);
  EXPECT_LT(waited, std::chrono::milliseconds(1500));
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  ::CloseHandle(server);  // whatever is still waiting ends now

  // A file that answers is read whole within the bound.
  e2e::TempFolder folder;
  e2e::WriteFileBytes(folder.path() + L"\\quick.bin", "quick");
  const std::optional<FileRead> quick = OpenAndReadWithin(folder.path() + L"\\quick.bin", 5000);
  ASSERT_TRUE(quick);
  EXPECT_EQ(quick->bytes, "quick");
  EXPECT_THROW(OpenAndReadWithin(folder.path() + L"\\missing.bin", 5000), Failure);
}

}  // namespace
}  // namespace vq::win32
