#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "entries/startup_items.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "removal/reg_file.h"

namespace vq {

// True for a path as the Task Scheduler gives a task: its folder starts with
// "\", and no level of it nor its name is empty, "." or "..", or holds ":",
// "/", a quote or a control character. The backup saves no other.
bool IsSoundTaskPath(const TaskPath& path);

// What a removal saves before it removes, so that nothing removed is lost.
// An item that could not be saved is not removed; one whose removal failed
// does not stay in the backup.
class RemovalBackup {
 public:
  enum class FileSaved {
    Removed,   // the file was moved into the backup: it is gone from its folder
    Kept,      // a copy is kept: the file may be deleted now
    NotSaved,  // nothing could be kept: the file must stay
  };

  virtual ~RemovalBackup() = default;
  // Saves the value as the registry holds it now, read through the key it
  // will be removed through. Returns the number of its entry in the backup;
  // nullopt when there is nothing to save (the value is not there) or it
  // could not be saved: either way the value must stay.
  virtual std::optional<std::size_t> SaveValue(const RegistryValueItem& value, RegistryKey& key) = 0;
  // Ends a run of saved values: true once they are on the disk. False when
  // they may not be: they are then no longer in the backup, and must stay.
  virtual bool FlushValues() = 0;
  // Saves one file of a Startup folder; for a kept copy, `entry` is the
  // number of its entry.
  virtual FileSaved SaveFile(const StartupFileItem& file, std::size_t& entry) = 0;
  // Saves a scheduled task's XML (UTF-8 text), on the disk when it returns,
  // the restore note naming it. Returns the number of its entry; nullopt when
  // it could not be saved: the task must stay.
  virtual std::optional<std::size_t> SaveTask(const ScheduledTaskItem& task, std::string_view xml) = 0;
  // How the removal of a saved value, a kept file or a saved task went.
  virtual void ValueRemoved(std::size_t entry, bool removed) = 0;
  virtual void FileRemoved(std::size_t entry, bool removed) = 0;
  virtual void TaskRemoved(std::size_t entry, bool removed) = 0;
  // The walk is over: the backup is completed, or removed when nothing was removed.
  virtual void Finish() = 0;
};

// The backup of one delete walk, made on first use in a folder of its own:
// %LOCALAPPDATA%\Marrowfen\Vellorin Quade\Backups\<yyyy-mm-dd hh.mm.ss>,
// with " (2)", " (3)" … when the name is taken.
// - registry.reg holds the values, only ever appended to: a run of values is
//   written in one piece and flushed before the first of them is deleted,
//   and a write or flush that fails cuts the file back to the end of the
//   last good run.
// - Startup files go to "Startup files\User" or "Startup files\All Users"
//   under their exact names (" (2)" … where a folder already holds the name),
//   moved there where the volume allows it (a move keeps every byte,
//   attribute and time), copied otherwise.
// - scheduled tasks go to "Tasks" under their folder paths as <name>.xml,
//   UTF-16LE after a byte-order mark, as "schtasks /create /xml" takes them;
// - "How to restore.txt" (UTF-16LE) tells how to put everything back; it is
//   written before the first removal and brought up to date before every
//   removal it must speak of, so a walk cut short leaves a complete backup.
// When a removal failed, registry.reg and the note are rewritten once at the
// end without it, each as a new file put in the old one's place.
class WalkBackup final : public RemovalBackup {
 public:
  WalkBackup(FileSystem& files, Shell& shell, Clock& clock);
  std::optional<std::size_t> SaveValue(const RegistryValueItem& value, RegistryKey& key) override;
  bool FlushValues() override;
  FileSaved SaveFile(const StartupFileItem& file, std::size_t& entry) override;
  void ValueRemoved(std::size_t entry, bool removed) override;
  void FileRemoved(std::size_t entry, bool removed) override;
  std::optional<std::size_t> SaveTask(const ScheduledTaskItem& task, std::string_view xml) override;
  void TaskRemoved(std::size_t entry, bool removed) override;
  void Finish() override;

  // The backup's folder; empty until something was saved.
  const std::string& folder() const { return folder_; }

 private:
  // Pending: written, not yet sure to be on the disk. Saved: in the backup,
  // its removal not known to have failed. Removed: in the backup and gone
  // from its place. Failed: its removal failed, so it leaves the backup.
  // Dropped: never made it into the backup.
  enum class State { Pending, Saved, Removed, Failed, Dropped };
  struct Value {
    RegistryValueItem item;
    StoredValue stored;
    State state;
  };
  struct FilesFolder {
    std::string name;           // "Startup files\User (2)", below the backup's folder
    std::u16string exact;       // its exact path
    std::u16string original;    // the Startup folder its files came from, in the exact form
    bool noted = false;         // the note names it
  };
  struct File {
    std::u16string name;
    std::size_t folder;  // in filesFolders_
    State state;
    bool copyLeft = false;  // a copy of a file that stayed, which could not be deleted
  };

  struct Task {
    TaskPath path;
    ExactPath saved;
    State state;
    bool copyLeft = false;  // the saved XML of a task that stayed, which could not be deleted
  };

  bool EnsureFolder();
  std::optional<ExactPath> TaskFolderFor(const std::u16string& folder);
  void CutBack();
  std::optional<std::size_t> FilesFolderFor(const StartupFileItem& file, std::optional<std::size_t> after);
  ExactPath SavedPath(const File& file) const;
  std::u16string RestoreText() const;
  bool WriteNote();
  void WriteWhole(const ExactPath& path, const std::string& bytes);
  std::string RegFileBytes() const;
  void RemoveEverythingMade() noexcept;

  FileSystem& files_;
  Shell& shell_;
  Clock& clock_;
  std::string folder_;
  std::u16string exactFolder_;
  bool folderFailed_ = false;
  // A cut that failed left registry.reg in doubt: nothing more is removed.
  bool stopped_ = false;
  std::string stamp_;
  std::vector<std::string> madeFolders_;  // in the order made
  std::vector<ExactPath> madeFiles_;

  RegFile regFile_;
  std::unique_ptr<OutputFile> regOutput_;
  std::uint64_t regGood_ = 0;    // bytes on the disk
  std::u16string regGoodKey_;    // the writer's last key at the good length
  std::string runBytes_;         // the text of the run's values, written when the run ends
  std::vector<Value> values_;

  std::vector<FilesFolder> filesFolders_;
  std::vector<File> savedFiles_;
  std::vector<Task> savedTasks_;
  // The note is made anew only when what it says may have changed: its
  // first registry value, a value the registry editor cannot spell, a
  // folder's first file, a file that needs its exact path.
  bool noteStale_ = true;
  std::u16string noteWritten_;
};

// Where the backups live, below the local application data folder.
inline constexpr char kBackupsFolder[] = "\\Marrowfen\\Vellorin Quade\\Backups";

}  // namespace vq
