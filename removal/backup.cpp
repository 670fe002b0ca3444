#include "removal/backup.h"

#include <cstdio>

#include "app/text.h"
#include "collectors/mod_special_folder.h"
#include "platform/failure.h"

namespace vq {

namespace {

std::string Stamp(const LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d.%02d.%02d", time.year, time.month, time.day, time.hour,
                time.minute, time.second);
  return text;
}

bool SameFolder(std::string_view a, std::string_view b) {
  while (!a.empty() && a.back() == '\\') a.remove_suffix(1);
  while (!b.empty() && b.back() == '\\') b.remove_suffix(1);
  return a.size() == b.size() && ContainsIgnoringCase(a, b);
}

}  // namespace

WalkBackup::WalkBackup(FileSystem& files, Shell& shell, Clock& clock, Registry& registry)
    : files_(files), shell_(shell), clock_(clock), registry_(registry) {}

// Makes the walk's folder on first use; a walk that saves nothing leaves none.
bool WalkBackup::EnsureFolder() {
  if (!folder_.empty()) return true;
  if (folderFailed_) return false;
  try {
    const std::string localAppData = shell_.LocalAppDataFolder();
    if (localAppData.empty()) throw Failure("No local application data folder");
    std::string path = localAppData;
    for (const char* level : {"\\Marrowfen", "\\Vellorin Quade", "\\Backups"}) {
      path += level;
      files_.CreateFolder(path);  // already there is as good
    }
    stamp_ = Stamp(clock_.Now());
    for (int copy = 1; copy < 1000; ++copy) {
      const std::string candidate = path + "\\" + stamp_ + (copy == 1 ? "" : " (" + std::to_string(copy) + ")");
      if (files_.CreateFolder(candidate)) {
        folder_ = candidate;
        madeFolders_.push_back(candidate);
        return true;
      }
    }
  } catch (...) {
    // No space, no rights, a file where a folder must be: nothing can be saved.
  }
  folderFailed_ = true;
  return false;
}

bool WalkBackup::SaveValue(Hive hive, const std::string& keyPath, const std::string& name) {
  try {
    // A run of values mostly comes from one key: it is opened once for them.
    if (!queryKey_ || queryHive_ != hive || queryPath_ != keyPath) {
      queryKey_.reset();
      queryKey_ = registry_.OpenKey(hive, keyPath, kKeyQueryValue);
      queryHive_ = hive;
      queryPath_ = keyPath;
    }
    if (!queryKey_) return true;  // no key: the delete will find nothing to take either
    const std::optional<StoredValue> value = queryKey_->QueryValue(name);
    if (!value) return true;
    if (!EnsureFolder()) return false;
    if (!regOutput_) {
      const std::string path = folder_ + "\\registry.reg";
      regOutput_ = files_.CreateNewFile(path);
      madeFiles_.push_back(path);
      madeRegFile_ = true;
    }
    const RegFile::Change change = regFile_.Add(hive, keyPath, name, value->type, value->data);
    if (change.rewrite) {
      regOutput_->Replace(change.bytes);
    } else {
      regOutput_->Append(change.bytes);
    }
    unflushed_ = true;
    return true;
  } catch (...) {
    return false;
  }
}

bool WalkBackup::FlushValues() {
  queryKey_.reset();
  if (!unflushed_) return true;
  try {
    regOutput_->Flush();
    unflushed_ = false;
    return true;
  } catch (...) {
    return false;
  }
}

std::string WalkBackup::EnsureFilesFolder(bool allUsers) {
  std::string path = folder_ + "\\Startup files";
  if (files_.CreateFolder(path)) madeFolders_.push_back(path);
  path += allUsers ? "\\All Users" : "\\User";
  if (files_.CreateFolder(path)) madeFolders_.push_back(path);
  return path;
}

RemovalBackup::FileSaved WalkBackup::SaveFile(const std::string& path) {
  try {
    if (!EnsureFolder()) return FileSaved::NotSaved;
    const std::size_t separator = path.rfind('\\');
    const std::string folder = path.substr(0, separator), name = path.substr(separator + 1);
    if (!userStartup_) userStartup_ = GetSpecialFolder(shell_, csidl::kStartup);
    const std::string target = EnsureFilesFolder(!SameFolder(folder, *userStartup_)) + "\\" + name;
    try {
      files_.MoveNamedFile(path, target);
      savedFiles_.emplace_back(path, target);
      deletedAny_ = true;
      return FileSaved::Removed;
    } catch (...) {
      // Another volume, or a link that must not be moved: a copy then.
    }
    files_.CopyExactly(path, target);
    madeFiles_.push_back(target);
    savedFiles_.emplace_back(path, target);
    return FileSaved::Saved;
  } catch (...) {
    return FileSaved::NotSaved;
  }
}

std::string WalkBackup::RestoreText() const {
  std::string text = "Vellorin Quade saved these startup items before it deleted them (" + stamp_ + ").\r\n";
  if (madeRegFile_) {
    text += "\r\nRegistry values: double-click registry.reg and confirm, or run\r\n    reg import \"" + folder_ +
            "\\registry.reg\"\r\n";
  }
  if (!savedFiles_.empty()) {
    text += "\r\nStartup files: copy each file back to where it was:\r\n";
    for (const auto& [original, saved] : savedFiles_) text += "    " + saved + "\r\n      to " + original + "\r\n";
  }
  return text;
}

void WalkBackup::Finish() {
  if (folder_.empty()) return;
  if (!deletedAny_) {
    RemoveEverythingMade();
    return;
  }
  try {
    regOutput_.reset();
    std::unique_ptr<OutputFile> restore = files_.CreateNewFile(folder_ + "\\How to restore.txt");
    restore->Append(RestoreText());
    restore->Flush();
  } catch (...) {
    // The saved items are there all the same.
  }
}

// Nothing was deleted: the walk leaves no backup behind.
void WalkBackup::RemoveEverythingMade() noexcept {
  regOutput_.reset();
  for (auto file = madeFiles_.rbegin(); file != madeFiles_.rend(); ++file) {
    try {
      files_.ForcedDelete(*file);
    } catch (...) {
    }
  }
  for (auto folder = madeFolders_.rbegin(); folder != madeFolders_.rend(); ++folder) {
    try {
      files_.RemoveEmptyFolder(*folder);
    } catch (...) {
    }
  }
}

}  // namespace vq
