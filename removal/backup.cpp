#include "removal/backup.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "entries/hives.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace vq {

namespace {

std::string Stamp(const LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d.%02d.%02d", time.year, time.month, time.day, time.hour,
                time.minute, time.second);
  return text;
}

std::u16string HexDigits(std::string_view bytes) { return Utf8ToUtf16(HexBytes(bytes)); }

// A text between single quotes for PowerShell, which takes the typographic
// single quotes (U+2018 to U+201B) for quotes too: each is doubled.
std::u16string PowerShellQuoted(std::u16string_view text) {
  std::u16string quoted = u"'";
  for (char16_t c : text) {
    quoted += c;
    if (c == u'\'' || (c >= u'\u2018' && c <= u'\u201B')) quoted += c;
  }
  return quoted + u"'";
}

// True when registry.reg keeps the value in comment lines.
bool InCommentLines(const RegistryValueItem& value) {
  return RegFileKeepsInComments(value.hive, value.keyPath, value.name);
}

// True when Explorer and the usual commands cannot name the file: a name that
// ends in a dot or a space, names a device, holds a character Win32 names
// cannot, or a path too long for them.
bool NeedsExactPath(std::u16string_view name, std::size_t pathLength) {
  if (name.empty() || name.back() == u'.' || name.back() == u' ' || pathLength >= 260) return true;
  if (HasUnpairedSurrogate(name)) return true;
  for (char16_t c : name) {
    if (c < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos) return true;
  }
  std::u16string base(name.substr(0, name.find(u'.')));
  while (!base.empty() && base.back() == u' ') base.pop_back();
  for (char16_t& c : base) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
  for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.starts_with(u"COM") || base.starts_with(u"LPT")) &&
         ((base[3] >= u'0' && base[3] <= u'9') || base[3] == u'\u00B9' || base[3] == u'\u00B2' || base[3] == u'\u00B3');
}

// What PowerShell needs to write a value whose name (or key) the registry
// editor cannot, and to copy back a file by its exact path: each level of
// the key below a key of the hive is opened by its counted name, or made
// where it is missing, always in the 64-bit view (a 32-bit PowerShell would
// write into WOW6432Node otherwise), and the value is set by its counted name.
constexpr char16_t kPowerShellRestore[] =
    u"Add-Type -TypeDefinition @'\r\n"
    u"using System;\r\n"
    u"using System.Runtime.InteropServices;\r\n"
    u"public static class VellorinRestore {\r\n"
    u"  [StructLayout(LayoutKind.Sequential)]\r\n"
    u"  struct CountedName { public ushort Length; public ushort MaximumLength; public IntPtr Buffer; }\r\n"
    u"  [StructLayout(LayoutKind.Sequential)]\r\n"
    u"  struct ObjectAttributes {\r\n"
    u"    public int Length; public IntPtr RootDirectory; public IntPtr ObjectName; public uint Attributes;\r\n"
    u"    public IntPtr SecurityDescriptor; public IntPtr SecurityQualityOfService;\r\n"
    u"  }\r\n"
    u"  [DllImport(\"ntdll.dll\")] static extern int NtCreateKey(out IntPtr key, int access, ref ObjectAttributes attributes,\r\n"
    u"                                                        int titleIndex, IntPtr className, int options, out int disposition);\r\n"
    u"  [DllImport(\"ntdll.dll\")] static extern int NtSetValueKey(IntPtr key, IntPtr name, int titleIndex, int type, byte[] data, int size);\r\n"
    u"  [DllImport(\"ntdll.dll\")] static extern int NtClose(IntPtr handle);\r\n"
    u"  [DllImport(\"kernel32.dll\", CharSet = CharSet.Unicode, SetLastError = true)]\r\n"
    u"  static extern bool CopyFileExW(string from, string to, IntPtr progress, IntPtr data, IntPtr cancel, int flags);\r\n"
    u"  // A level leads on (KEY_CREATE_SUB_KEY, for a level below it that is missing); the last takes the value\r\n"
    u"  // (KEY_SET_VALUE); each in the 64-bit view (KEY_WOW64_64KEY).\r\n"
    u"  const int LeadsOn64 = 0x4 | 0x100, TakesValue64 = 0x2 | 0x100;\r\n"
    u"  static byte[] Bytes(string hex) {\r\n"
    u"    var bytes = new byte[hex.Length / 2];\r\n"
    u"    for (int i = 0; i < bytes.Length; i++) bytes[i] = Convert.ToByte(hex.Substring(2 * i, 2), 16);\r\n"
    u"    return bytes;\r\n"
    u"  }\r\n"
    u"  static IntPtr Counted(byte[] bytes) {\r\n"
    u"    var name = new CountedName { Length = (ushort)bytes.Length, MaximumLength = (ushort)bytes.Length,\r\n"
    u"                                 Buffer = Marshal.AllocHGlobal(Math.Max(bytes.Length, 1)) };\r\n"
    u"    Marshal.Copy(bytes, 0, name.Buffer, bytes.Length);\r\n"
    u"    IntPtr counted = Marshal.AllocHGlobal(Marshal.SizeOf(typeof(CountedName)));\r\n"
    u"    Marshal.StructureToPtr(name, counted, false);\r\n"
    u"    return counted;\r\n"
    u"  }\r\n"
    u"  static void Free(IntPtr counted) {\r\n"
    u"    var name = (CountedName)Marshal.PtrToStructure(counted, typeof(CountedName));\r\n"
    u"    Marshal.FreeHGlobal(name.Buffer);\r\n"
    u"    Marshal.FreeHGlobal(counted);\r\n"
    u"  }\r\n"
    u"  // levelsHex: the names of the key's levels below parent, each as UTF-16LE in hex.\r\n"
    u"  public static int Set(Microsoft.Win32.RegistryKey parent, string[] levelsHex, string nameHex, int type, string dataHex) {\r\n"
    u"    IntPtr key = parent.Handle.DangerousGetHandle(), valueName = Counted(Bytes(nameHex));\r\n"
    u"    bool ours = false;\r\n"
    u"    try {\r\n"
    u"      for (int level = 0; level < levelsHex.Length; level++) {\r\n"
    u"        IntPtr levelName = Counted(Bytes(levelsHex[level])), below;\r\n"
    u"        int disposition, access = level + 1 < levelsHex.Length ? LeadsOn64 : TakesValue64;\r\n"
    u"        var attributes = new ObjectAttributes { Length = Marshal.SizeOf(typeof(ObjectAttributes)),\r\n"
    u"                                                RootDirectory = key, ObjectName = levelName };\r\n"
    u"        int status = NtCreateKey(out below, access, ref attributes, 0, IntPtr.Zero, 0, out disposition);\r\n"
    u"        Free(levelName);\r\n"
    u"        if (status != 0) return status;\r\n"
    u"        if (ours) NtClose(key);\r\n"
    u"        key = below;\r\n"
    u"        ours = true;\r\n"
    u"      }\r\n"
    u"      byte[] data = Bytes(dataHex);\r\n"
    u"      return NtSetValueKey(key, valueName, 0, type, data, data.Length);\r\n"
    u"    } finally {\r\n"
    u"      if (ours) NtClose(key);\r\n"
    u"      Free(valueName);\r\n"
    u"    }\r\n"
    u"  }\r\n"
    u"  // Copies a saved file back by its exact paths (UTF-16LE in hex), a link as the link\r\n"
    u"  // (COPY_FILE_COPY_SYMLINK), never over a file; 0, or the system's error number.\r\n"
    u"  public static int Copy(string fromHex, string toHex) {\r\n"
    u"    return CopyFileExW(Text(fromHex), Text(toHex), IntPtr.Zero, IntPtr.Zero, IntPtr.Zero, 0x1 | 0x800)\r\n"
    u"               ? 0 : Marshal.GetLastWin32Error();\r\n"
    u"  }\r\n"
    u"  // Every code unit as it stands, an unpaired surrogate too.\r\n"
    u"  static string Text(string hex) {\r\n"
    u"    byte[] bytes = Bytes(hex);\r\n"
    u"    var units = new char[bytes.Length / 2];\r\n"
    u"    for (int i = 0; i < units.Length; i++) units[i] = (char)(bytes[2 * i] | bytes[2 * i + 1] << 8);\r\n"
    u"    return new string(units);\r\n"
    u"  }\r\n"
    u"}\r\n"
    u"'@\r\n";

}  // namespace

WalkBackup::WalkBackup(FileSystem& files, Shell& shell, Clock& clock)
    : files_(files), shell_(shell), clock_(clock) {}

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
        madeFolders_.push_back(candidate);
        exactFolder_ = files_.ExactFolder(candidate);
        folder_ = candidate;
        return true;
      }
    }
  } catch (...) {
    // No space, no rights, a file where a folder must be: nothing can be saved.
  }
  folderFailed_ = true;
  return false;
}

std::optional<std::size_t> WalkBackup::SaveValue(const RegistryValueItem& value, RegistryKey& key) {
  if (stopped_) return std::nullopt;
  std::optional<StoredValue> stored;
  try {
    // Only a value that is not there has nothing to save; then there is
    // nothing to delete either.
    stored = key.QueryValue(value.name);
    if (!stored || !EnsureFolder()) return std::nullopt;
    if (!regOutput_) {
      const ExactPath path = ExactChild(exactFolder_, u"registry.reg");
      regOutput_ = files_.CreateNewFile(path);
      madeFiles_.push_back(path);
    }
  } catch (...) {
    return std::nullopt;
  }
  // The run's text goes to the file in one write, when the run ends.
  if (regGood_ == 0 && runBytes_.empty()) runBytes_ = RegFile::Start();
  runBytes_ += regFile_.Add(value.hive, value.keyPath, value.name, stored->type, stored->data);
  if (values_.empty() || InCommentLines(value)) noteStale_ = true;
  values_.push_back({value, std::move(*stored), State::Pending});
  return values_.size() - 1;
}

// Takes the run's values out of registry.reg, which ends again where the
// last good run ended. A cut that fails leaves the file in doubt: nothing
// more is removed in this walk.
void WalkBackup::CutBack() {
  for (Value& value : values_) {
    if (value.state == State::Pending) value.state = State::Dropped;
  }
  runBytes_.clear();
  regFile_.setLastKey(regGoodKey_);
  try {
    regOutput_->CutTo(regGood_);
  } catch (...) {
    stopped_ = true;
  }
}

bool WalkBackup::FlushValues() {
  if (runBytes_.empty()) return true;
  try {
    regOutput_->Append(runBytes_);
    regOutput_->Flush();
    if (!WriteNote()) throw Failure("The restore note could not be written");
  } catch (...) {
    CutBack();
    return false;
  }
  for (Value& value : values_) {
    if (value.state == State::Pending) value.state = State::Saved;
  }
  regGood_ += runBytes_.size();
  runBytes_.clear();
  regGoodKey_ = regFile_.lastKey();
  return true;
}

void WalkBackup::ValueRemoved(std::size_t entry, bool removed) {
  values_.at(entry).state = removed ? State::Removed : State::Failed;
}

// The folder of the backup that takes the file next: one for the file's own
// folder that follows `after`, made when there is none. A folder per name
// taken, since one folder cannot hold two names the system takes for one
// (A.lnk and a.lnk).
std::optional<std::size_t> WalkBackup::FilesFolderFor(const StartupFileItem& file, std::optional<std::size_t> after) {
  for (std::size_t i = after ? *after + 1 : 0; i < filesFolders_.size(); ++i) {
    if (filesFolders_[i].original == file.exactFolder) return i;
  }
  const std::string kind = file.allUsers ? "Startup files\\All Users" : "Startup files\\User";
  if (files_.CreateFolder(folder_ + "\\Startup files")) madeFolders_.push_back(folder_ + "\\Startup files");
  for (int copy = 1; copy < 1000; ++copy) {
    const std::string name = kind + (copy == 1 ? "" : " (" + std::to_string(copy) + ")");
    const bool taken = std::any_of(filesFolders_.begin(), filesFolders_.end(),
                                   [&](const FilesFolder& folder) { return folder.name == name; });
    if (taken || !files_.CreateFolder(folder_ + "\\" + name)) continue;
    madeFolders_.push_back(folder_ + "\\" + name);
    filesFolders_.push_back({name, ExactChild(exactFolder_, Utf8ToUtf16(name)), file.exactFolder});
    return filesFolders_.size() - 1;
  }
  return std::nullopt;
}

ExactPath WalkBackup::SavedPath(const File& file) const {
  return ExactChild(filesFolders_[file.folder].exact, file.name);
}

RemovalBackup::FileSaved WalkBackup::SaveFile(const StartupFileItem& file, std::size_t& entry) {
  if (stopped_) return FileSaved::NotSaved;
  try {
    if (!EnsureFolder()) return FileSaved::NotSaved;
    const ExactPath path = file.Path();
    bool otherVolume = false;
    std::optional<std::size_t> folder;
    while ((folder = FilesFolderFor(file, folder))) {
      // The note speaks of the file before it leaves its place.
      savedFiles_.push_back({file.name, *folder, State::Pending});
      File& saved = savedFiles_.back();
      if (!filesFolders_[*folder].noted || NeedsExactPath(file.name, PlainPath(path).size())) noteStale_ = true;
      if (!WriteNote()) break;
      filesFolders_[*folder].noted = true;
      // A move keeps everything of the file; only across volumes is it copied.
      // A file that may not be moved (a link to another) is not copied either.
      if (!otherVolume) {
        const FileSystem::MoveResult moved = files_.MoveNamedFile(path, SavedPath(saved));
        if (moved == FileSystem::MoveResult::Moved) {
          saved.state = State::Removed;
          return FileSaved::Removed;
        }
        otherVolume = moved == FileSystem::MoveResult::OtherVolume;
      }
      if (otherVolume && files_.CopyExactly(path, SavedPath(saved))) {
        madeFiles_.push_back(SavedPath(saved));
        saved.state = State::Saved;
        entry = savedFiles_.size() - 1;
        return FileSaved::Kept;
      }
      saved.state = State::Dropped;  // the name is taken there: the next folder
    }
  } catch (...) {
    // Nothing could be kept: the file stays.
  }
  if (!savedFiles_.empty() && savedFiles_.back().state == State::Pending) savedFiles_.back().state = State::Dropped;
  return FileSaved::NotSaved;
}

void WalkBackup::FileRemoved(std::size_t entry, bool removed) {
  File& file = savedFiles_.at(entry);
  file.state = removed ? State::Removed : State::Failed;
  if (removed) return;
  try {
    files_.ForcedDelete(SavedPath(file));  // the file stays where it was: its copy goes
  } catch (...) {
    file.copyLeft = true;  // the note says to leave it out
  }
}

// A row built from other texts than the scheduler's names no task the backup can keep apart.
bool IsSoundTaskPath(const TaskPath& path) {
  const auto soundLevel = [](std::u16string_view level) {
    if (level.empty() || level == u"." || level == u"..") return false;
    return std::none_of(level.begin(), level.end(), [](char16_t c) {
      return c < 0x20 || c == u':' || c == u'/' || c == u'"' || c == u'\\';
    });
  };
  if (!path.folder.starts_with(u'\\') || !soundLevel(path.name)) return false;
  for (std::size_t start = 1; start < path.folder.size();) {
    const std::size_t end = std::min(path.folder.find(u'\\', start), path.folder.size());
    if (!soundLevel(std::u16string_view(path.folder).substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

namespace {

// A name for the backup's copy that a plain path and a command can name:
// the task's own when it is one, else its bytes in hex (a folder "NUL" or
// "Vendor." would be taken for a device or trimmed).
std::u16string BackupName(std::u16string_view name) {
  if (!NeedsExactPath(name, 0)) return std::u16string(name);
  return u"(" + HexDigits(Utf16ToUtf8(name)) + u")";
}

// Backup folders stay this short, so that every copy has a plain path.
constexpr std::size_t kLongestTaskFolder = 200;

}  // namespace

// The folder below "Tasks" that takes a task of this scheduler folder ("\"
// or "\Vendor\Sub"), made level by level where missing; the levels below a
// path grown too long are left out.
std::optional<ExactPath> WalkBackup::TaskFolderFor(const std::u16string& folder) {
  std::string path = folder_ + "\\Tasks";
  ExactPath exact = ExactChild(exactFolder_, u"Tasks");
  if (files_.CreateFolder(path)) madeFolders_.push_back(path);
  for (std::size_t start = 1; start < folder.size();) {
    const std::size_t end = std::min(folder.find(u'\\', start), folder.size());
    const std::u16string level = BackupName(folder.substr(start, end - start));
    start = end + 1;
    if (path.size() + 1 + Utf16ToUtf8(level).size() > kLongestTaskFolder) break;
    path += "\\" + Utf16ToUtf8(level);
    exact = ExactChild(exact, level);
    if (files_.CreateFolder(path)) madeFolders_.push_back(path);
  }
  return exact;
}

std::optional<std::size_t> WalkBackup::SaveTask(const ScheduledTaskItem& task, std::string_view xml) {
  if (stopped_) return std::nullopt;
  try {
    if (!IsSoundTaskPath(task.path) || !EnsureFolder()) return std::nullopt;
    const std::optional<ExactPath> folder = TaskFolderFor(task.path.folder);
    if (!folder) return std::nullopt;
    ExactPath saved = ExactChild(*folder, BackupName(task.path.name) + u".xml");
    if (PlainPath(saved).size() >= 255) saved = ExactChild(*folder, u"task " + Utf8ToUtf16(std::to_string(savedTasks_.size() + 1)) + u".xml");
    {
      std::unique_ptr<OutputFile> output = files_.CreateNewFile(saved);
      madeFiles_.push_back(saved);
      savedTasks_.push_back({task.path, saved, State::Pending});
      output->Append("\xFF\xFE" + Utf16LeBytes(Utf8ToUtf16(xml)));
      output->Flush();
    }
    // The note speaks of the task before it goes.
    noteStale_ = true;
    if (!WriteNote()) throw Failure("The restore note could not be written");
    savedTasks_.back().state = State::Saved;
    return savedTasks_.size() - 1;
  } catch (...) {
    // Nothing could be kept: the task stays, and what was begun of its copy goes.
    if (!savedTasks_.empty() && savedTasks_.back().state == State::Pending) {
      savedTasks_.back().state = State::Dropped;
      try {
        files_.ForcedDelete(savedTasks_.back().saved);
      } catch (...) {
      }
    }
    return std::nullopt;
  }
}

void WalkBackup::TaskRemoved(std::size_t entry, bool removed) {
  Task& task = savedTasks_.at(entry);
  task.state = removed ? State::Removed : State::Failed;
  if (removed) return;
  try {
    files_.ForcedDelete(task.saved);  // the task stays: its copy goes
  } catch (...) {
    task.copyLeft = true;
  }
}

std::u16string WalkBackup::RestoreText() const {
  std::u16string text = u"Vellorin Quade saved these startup items before it removed them (" + Utf8ToUtf16(stamp_) +
                        u").\r\n";
  const auto inBackup = [](State state) { return state != State::Failed && state != State::Dropped; };
  bool anyValue = false, anyUnspellable = false;
  for (const Value& value : values_) {
    if (!inBackup(value.state)) continue;
    anyValue = true;
    anyUnspellable = anyUnspellable || InCommentLines(value.item);
  }
  if (anyValue) {
    text += u"\r\nRegistry values: double-click registry.reg and confirm, or run\r\n    reg import \"" +
            PlainPath(ExactChild(exactFolder_, u"registry.reg")) + u"\" /reg:64\r\n";
  }
  if (anyUnspellable) {
    text += u"\r\nThe registry editor cannot write the names of some of these values or of their keys (they\r\n"
            u"hold characters it cannot spell), so registry.reg keeps them as comment lines, which it passes\r\n"
            u"over. To put them back, run these lines in PowerShell (as administrator for machine-wide\r\n"
            u"values):\r\n\r\n";
    text += kPowerShellRestore;
    for (const Value& value : values_) {
      const RegistryValueItem& item = value.item;
      if (!inBackup(value.state) || !InCommentLines(item)) continue;
      // The key's first name is one PowerShell can name; each level below
      // goes by its counted name.
      const HiveInfo* hive = FindHive(item.hive);
      const std::u16string_view path = KeyPathTrimmed(item.keyPath);
      const std::size_t first = std::min(path.find(u'\\'), path.size());
      std::u16string levels;
      for (std::size_t start = first; start < path.size();) {
        const std::size_t end = std::min(path.find(u'\\', start + 1), path.size());
        levels += std::u16string(levels.empty() ? u"" : u", ") + u"'" +
                  HexDigits(Utf16LeBytes(path.substr(start + 1, end - start - 1))) + u"'";
        start = end;
      }
      text += u"$hive = [Microsoft.Win32.RegistryKey]::OpenBaseKey('" +
              Utf8ToUtf16(hive ? hive->powerShellName : "") + u"', 'Registry64')\r\n";
      text += u"$key = $hive.CreateSubKey(" + PowerShellQuoted(path.substr(0, first)) + u")\r\n";
      text += u"[VellorinRestore]::Set($key, @(" + levels + u"), '" + HexDigits(Utf16LeBytes(item.name)) + u"', " +
              Utf8ToUtf16(std::to_string(value.stored.type)) + u", '" + HexDigits(value.stored.data) + u"')\r\n";
      text += u"$key.Close()\r\n$hive.Close()\r\n";
    }
  }
  std::u16string folders, commands, powerShellCopies;
  for (std::size_t i = 0; i < filesFolders_.size(); ++i) {
    bool used = false;
    for (const File& file : savedFiles_) {
      if (file.folder != i || !inBackup(file.state)) continue;
      used = true;
      const ExactPath original = ExactChild(filesFolders_[i].original, file.name);
      if (!NeedsExactPath(file.name, PlainPath(original).size())) continue;
      // At a command prompt "%" has no escape, and PowerShell's own copy trims
      // a trailing dot: such a path goes by the system's copy, named in hex.
      // /L and the copy both take a link as the link.
      const ExactPath saved = SavedPath(file);
      if ((saved + original).find(u'%') != std::u16string::npos) {
        std::u16string shown = file.name;  // a comment line: no line break may end it early
        std::replace_if(shown.begin(), shown.end(), [](char16_t c) { return c < 0x20; }, u'?');
        powerShellCopies += u"    # " + shown + u"\r\n    [VellorinRestore]::Copy('" + HexDigits(Utf16LeBytes(saved)) +
                            u"', '" + HexDigits(Utf16LeBytes(original)) + u"')\r\n";
      } else {
        commands += u"    copy /L \"" + saved + u"\" \"" + original + u"\"\r\n";
      }
    }
    if (used) folders += u"    " + Utf8ToUtf16(filesFolders_[i].name) + u"  ->  " + PlainPath(filesFolders_[i].original) + u"\r\n";
  }
  if (!folders.empty()) {
    text += u"\r\nStartup files: copy the files of each folder back to the folder named beside it:\r\n" + folders +
            u"A file that is a symbolic link was saved as the link itself; put it back as a link with\r\n"
            u"    copy /L \"<the saved link>\" \"<the folder named beside it>\"\r\n"
            u"(Explorer and a plain copy would copy the file it leads to instead).\r\n";
  }
  if (!commands.empty()) {
    text += u"\r\nExplorer cannot copy these files back by their names; run these commands in a command prompt:\r\n" +
            commands;
  }
  if (!powerShellCopies.empty()) {
    text += u"\r\nA command prompt would change the paths of these files (they hold \"%\"); run these lines in\r\n"
            u"PowerShell:\r\n\r\n";
    if (!anyUnspellable) text += kPowerShellRestore;  // the copy is part of it
    text += powerShellCopies;
  }
  // A command prompt expands "%" even between quotes: a task whose path or
  // copy holds one is put back from PowerShell, which takes every character
  // between single quotes as it is.
  std::u16string tasks, powerShellTasks;
  for (const Task& task : savedTasks_) {
    if (!inBackup(task.state)) continue;
    const std::u16string copy = PlainPath(task.saved);
    if (task.path.Full().find(u'%') == std::u16string::npos && copy.find(u'%') == std::u16string::npos) {
      tasks += u"    schtasks /create /tn \"" + task.path.Full() + u"\" /xml \"" + copy + u"\"\r\n";
    } else {
      powerShellTasks +=
          u"    schtasks /create /tn " + PowerShellQuoted(task.path.Full()) + u" /xml " + PowerShellQuoted(copy) + u"\r\n";
    }
  }
  if (!tasks.empty()) {
    text += u"\r\nScheduled tasks: run these commands in a command prompt (as administrator for a task that runs\r\n"
            u"as another user or with the highest rights):\r\n" +
            tasks;
  }
  if (!powerShellTasks.empty()) {
    text += u"\r\nA command prompt would change the names of these tasks (they hold \"%\"); run these lines in\r\n"
            u"PowerShell (as administrator for a task that runs as another user or with the highest rights):\r\n" +
            powerShellTasks;
  }
  if (!tasks.empty() || !powerShellTasks.empty()) {
    text += u"A task that ran under a stored password asks for it again: add /ru \"<account>\" /rp \"<password>\"\r\n"
            u"to its line.\r\n";
  }
  std::u16string leftovers;
  for (const File& file : savedFiles_) {
    if (file.copyLeft) leftovers += u"    " + SavedPath(file) + u"\r\n";
  }
  for (const Task& task : savedTasks_) {
    if (task.copyLeft) leftovers += u"    " + PlainPath(task.saved) + u"\r\n";
  }
  if (!leftovers.empty()) {
    text += u"\r\nThese are copies of files that were not removed and are still in their place: do not copy them\r\n"
            u"back, and delete them when you like:\r\n" + leftovers;
  }
  return text;
}

// Brings the note up to date when what it must say may have changed.
bool WalkBackup::WriteNote() {
  if (!noteStale_) return true;
  const std::u16string text = RestoreText();
  if (text != noteWritten_) {
    try {
      const ExactPath path = ExactChild(exactFolder_, u"How to restore.txt");
      WriteWhole(path, "\xFF\xFE" + Utf16LeBytes(text));
      if (noteWritten_.empty()) madeFiles_.push_back(path);
      noteWritten_ = text;
    } catch (...) {
      return false;
    }
  }
  noteStale_ = false;
  return true;
}

// Writes the file anew, all or nothing: a new file, on the disk, then put in the old one's place.
void WalkBackup::WriteWhole(const ExactPath& path, const std::string& bytes) {
  const ExactPath fresh = path + u".new";
  try {
    std::unique_ptr<OutputFile> output;
    try {
      output = files_.CreateNewFile(fresh);
    } catch (...) {
      files_.ForcedDelete(fresh);  // what a write that failed before left behind
      output = files_.CreateNewFile(fresh);
    }
    output->Append(bytes);
    output->Flush();
    output.reset();
    files_.MoveOver(fresh, path);
  } catch (...) {
    try {
      files_.ForcedDelete(fresh);
    } catch (...) {
    }
    throw;
  }
}

std::string WalkBackup::RegFileBytes() const {
  RegFile file;
  std::string bytes;
  for (const Value& value : values_) {
    if (value.state != State::Saved && value.state != State::Removed) continue;
    if (bytes.empty()) bytes = RegFile::Start();
    bytes += file.Add(value.item.hive, value.item.keyPath, value.item.name, value.stored.type, value.stored.data);
  }
  return bytes;
}

void WalkBackup::Finish() {
  if (folder_.empty()) return;
  const auto removedAny = [](const auto& list) {
    return std::any_of(list.begin(), list.end(),
                       [](const auto& item) { return item.state == State::Saved || item.state == State::Removed; });
  };
  const bool copyLeft =
      std::any_of(savedFiles_.begin(), savedFiles_.end(), [](const File& file) { return file.copyLeft; }) ||
      std::any_of(savedTasks_.begin(), savedTasks_.end(), [](const Task& task) { return task.copyLeft; });
  if (!removedAny(values_) && !removedAny(savedFiles_) && !removedAny(savedTasks_) && !copyLeft) {
    RemoveEverythingMade();
    return;
  }
  // registry.reg holds only what was removed, or what may have been.
  const bool regFileInDoubt =
      stopped_ ||
      std::any_of(values_.begin(), values_.end(), [](const Value& value) { return value.state == State::Failed; });
  regOutput_.reset();
  if (regFileInDoubt) {
    try {
      const ExactPath path = ExactChild(exactFolder_, u"registry.reg");
      const std::string bytes = RegFileBytes();
      if (bytes.empty()) {
        files_.ForcedDelete(path);
      } else {
        WriteWhole(path, bytes);
      }
    } catch (...) {
      // The values removed are in the file all the same.
    }
  }
  noteStale_ = true;  // what was dropped or failed leaves it
  WriteNote();
}

// Nothing was removed: the walk leaves no backup behind.
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
