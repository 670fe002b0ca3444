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
  bool IsFile(const std::string& path) override;
  std::u16string ExactFolder(const std::string& folder) override;
  void ListFiles(const std::u16string& exactFolder, const std::string& namePattern,
                 const std::function<void(const std::u16string& name)>& each) override;
  bool OpensForPresence(const ExactPath& path) override;
  void PlainDelete(const ExactPath& path) override;
  void ForcedDelete(const ExactPath& path) override;
  bool MoveNamedFile(const ExactPath& from, const ExactPath& to) override;
  bool CopyExactly(const ExactPath& from, const ExactPath& to) override;
  bool CreateFolder(const std::string& path) override;
  void RemoveEmptyFolder(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateNewFile(const ExactPath& path) override;
  void MoveOver(const ExactPath& from, const ExactPath& to) override;
};

}  // namespace vq::win32
