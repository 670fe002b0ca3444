#pragma once

#include <string>

#include "platform/file_system.h"

namespace vq::win32 {

// The full path of the running program file, however long.
std::wstring ProgramFilePath();

class Win32FileSystem final : public FileSystem {
 public:
  std::string ProgramFolder() override;
  std::int64_t LastModified(const std::string& path) override;
  std::int64_t FileLength(const std::string& path) override;
  std::string ReadBytes(const std::string& path) override;
  std::string AnsiToUtf8(std::string_view bytes) override;
  void ListFiles(const std::string& pattern, const std::function<void(const std::string& name)>& each) override;
  bool OpensForPresence(const std::string& path) override;
  bool IsFile(const std::string& path) override;
  void PlainDelete(const std::string& path) override;
  void ForcedDelete(const std::string& path) override;
  bool CreateFolder(const std::string& path) override;
  void RemoveEmptyFolder(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateNewFile(const std::string& path) override;
  void MoveNamedFile(const std::string& from, const std::string& to) override;
  void CopyExactly(const std::string& from, const std::string& to) override;
};

}  // namespace vq::win32
