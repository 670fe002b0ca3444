#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/image_files.h"
#include "platform/win32/unique_handle.h"

namespace vq::win32 {

// A file opened and read whole.
struct FileRead {
  UniqueFileHandle handle;
  std::string bytes;
};

// Opens and reads a file on a thread of its own, waiting at most `milliseconds`
// for it: a share that does not answer holds the caller no longer. A call that
// does not end in time is called off (CancelSynchronousIo) and left to end on
// its own; whatever it opens then is closed by it. Returns nullopt when it did
// not end in time; throws Failure when the file cannot be opened or read, and,
// with `diskOnly`, when it is no file on a disk (a pipe, a device) or larger
// than any program.
std::optional<FileRead> OpenAndReadWithin(const std::wstring& path, DWORD milliseconds, bool diskOnly = true);

class Win32ImageFiles final : public ImageFiles {
 public:
  std::unique_ptr<ImageFile> Open(const std::string& path) override;
  std::string Digest(HashAlgorithm algorithm, const std::vector<std::string_view>& pieces) override;

 private:
  // The system's hash providers, opened once each.
  std::map<HashAlgorithm, UniqueHashProvider> providers_;
  // Shares (\\server\share, or a mapped drive's "x:") that did not answer in time.
  std::set<std::wstring> silentShares_;
};

}  // namespace vq::win32
