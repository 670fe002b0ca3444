#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "removal/reg_file.h"

namespace vq {

// What a removal saves before it deletes, so that nothing deleted is lost.
// An item that could not be saved is not deleted.
class RemovalBackup {
 public:
  enum class FileSaved {
    Removed,   // the file was moved into the backup: it is gone from its folder
    Saved,     // a copy is kept: the file may be deleted now
    NotSaved,  // nothing could be kept: the file must stay
  };

  virtual ~RemovalBackup() = default;
  // Saves the named value as the registry holds it now; false when it could
  // not be saved. A value that is not there needs no saving.
  virtual bool SaveValue(Hive hive, const std::string& keyPath, const std::string& name) = 0;
  // Ends a run of saved values: returns once they are on the disk; false
  // when they may not be.
  virtual bool FlushValues() = 0;
  // Saves one file of a Startup folder, by its full path.
  virtual FileSaved SaveFile(const std::string& path) = 0;
  // An item was deleted (its backup is needed).
  virtual void Deleted() = 0;
  // The walk is over: the backup is completed, or removed when nothing was deleted.
  virtual void Finish() = 0;
};

// The backup of one delete walk, made on first use in a folder of its own:
// %LOCALAPPDATA%\Marrowfen\Vellorin Quade\Backups\<yyyy-mm-dd hh.mm.ss>,
// with " (2)", " (3)" … when the name is taken. Registry values go to
// registry.reg; Startup files to "Startup files\User" or
// "Startup files\All Users", moved there where the volume allows it (a move
// keeps every byte, attribute and time), copied otherwise; "How to
// restore.txt" tells how to put everything back.
class WalkBackup final : public RemovalBackup {
 public:
  WalkBackup(FileSystem& files, Shell& shell, Clock& clock, Registry& registry);
  bool SaveValue(Hive hive, const std::string& keyPath, const std::string& name) override;
  bool FlushValues() override;
  FileSaved SaveFile(const std::string& path) override;
  void Deleted() override { deletedAny_ = true; }
  void Finish() override;

  // The backup's folder; empty until something was saved.
  const std::string& folder() const { return folder_; }

 private:
  bool EnsureFolder();
  std::string EnsureFilesFolder(bool allUsers);
  void RemoveEverythingMade() noexcept;
  std::string RestoreText() const;

  FileSystem& files_;
  Shell& shell_;
  Clock& clock_;
  Registry& registry_;
  std::string folder_;
  bool folderFailed_ = false;
  std::string stamp_;
  std::vector<std::string> madeFolders_;  // in the order made
  std::vector<std::string> madeFiles_;
  std::unique_ptr<RegistryKey> queryKey_;  // the key of the run's values, open until the run ends
  Hive queryHive_{};
  std::string queryPath_;
  RegFile regFile_;
  std::unique_ptr<OutputFile> regOutput_;
  bool madeRegFile_ = false;
  bool unflushed_ = false;
  std::optional<std::string> userStartup_;
  std::vector<std::pair<std::string, std::string>> savedFiles_;  // original path, backup path
  bool deletedAny_ = false;
};

// Where the backups live, below the local application data folder.
inline constexpr char kBackupsFolder[] = "\\Marrowfen\\Vellorin Quade\\Backups";

}  // namespace vq
