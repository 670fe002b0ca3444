#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "platform/file_system.h"
#include "platform/win32/unique_handle.h"

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
  void ListFolders(const std::u16string& exactFolder,
                   const std::function<void(const std::u16string& name)>& each) override;
  bool OpensForPresence(const ExactPath& path) override;
  void PlainDelete(const ExactPath& path) override;
  void ForcedDelete(const ExactPath& path) override;
  MoveResult MoveNamedFile(const ExactPath& from, const ExactPath& to) override;
  bool CopyExactly(const ExactPath& from, const ExactPath& to) override;
  bool CreateFolder(const std::string& path) override;
  void RemoveEmptyFolder(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateNewFile(const ExactPath& path) override;
  void MoveOver(const ExactPath& from, const ExactPath& to) override;

 private:
  // What telling a named file from a link needs to know of its folder.
  struct FolderFacts {
    std::wstring objectName;  // the folder as the system names what is open in it
    bool listed = false;      // twins is known from a listing
    std::set<std::wstring> twins;  // names that listed names share once their trailing dots and spaces go
  };
  FolderFacts& FactsOf(const std::wstring& exactFolder);
  bool IsNamedEntry(HANDLE file, const std::wstring& exact);
  UniqueFileHandle OpenNamedFile(const ExactPath& path, DWORD access);

  std::map<std::wstring, FolderFacts> folders_;
};

}  // namespace vq::win32
