#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/main_window.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/settings_store.h"
#include "platform/shell.h"
#include "platform/skin.h"
#include "platform/text.h"
#include "removal/backup.h"

namespace vq::test {

// Makes a named operation throw Failure with the given description: after
// its first `succeeding` calls, for `times` calls (-1: for good).
class FailurePlan {
 public:
  void Fail(const std::string& operation, const std::string& description, int succeeding = 0, int times = -1) {
    plan_[operation] = {description, succeeding, times};
  }
  void Check(const std::string& operation) {
    auto it = plan_.find(operation);
    if (it == plan_.end()) return;
    Plan& plan = it->second;
    if (plan.succeeding > 0) {
      --plan.succeeding;
    } else if (plan.times != 0) {
      if (plan.times > 0) --plan.times;
      throw Failure(plan.description);
    }
  }

 private:
  struct Plan {
    std::string description;
    int succeeding, times;
  };
  std::map<std::string, Plan> plan_;
};

// A main window that keeps its state in memory and logs what the program does to it.
class FakeWindow : public MainWindow, public FailurePlan {
 public:
  struct Box {
    std::string text;
    int style;
    std::string title;
  };
  struct Row {
    bool checked = false;
    std::vector<std::string> texts = std::vector<std::string>(4);
    std::uint32_t item = 0;
    bool greyed = false;
  };

  std::vector<std::string> log;
  std::vector<Box> boxes;
  std::vector<std::string> columns;
  std::vector<int> columnWidths;
  std::vector<Row> rows;
  int checks[5] = {0, 0, 0, 0, 0};
  MousePointer pointer = MousePointer::Default;
  std::string caption, applicationTitle, customPointerImage;
  bool commandsEnabled = true;
  bool listRedraw = true;
  bool ended = false;
  int answer = msgbox::kOk;
  RowMenuChoice menuChoice = RowMenuChoice::None;  // what the user picks on a row's menu
  // As work goes on, the events fall due: at the n-th asking since they were
  // last handled, and stay due until they are (0: never due).
  int eventsDueEvery = 0;
  int askedSinceHandled = 0;
  std::vector<std::string> menus;  // each menu shown: "<row> disable=<0|1> enable=<0|1>"
  std::set<std::string> refusedMessages;  // boxes with these texts fail to show
  // Runs at the start of every operation, after its failure check; lets a
  // test act as the user would while the program works.
  std::function<void(const std::string& operation)> during;

  int& Check(CheckBox box) { return checks[static_cast<int>(box)]; }

  void SetCaption(const std::string& text) override { Enter("SetCaption", text), caption = text; }
  void SetProgramIcon() override { Enter("SetProgramIcon"); }
  std::int32_t NativeHandle() override { return Enter("NativeHandle"), 0x1234; }
  void SetBackColour(std::uint32_t colour) override { Enter("SetBackColour", std::to_string(colour)); }
  void SetControlBackColour(Control control, std::uint32_t colour) override {
    Enter("SetControlBackColour", std::to_string(static_cast<int>(control)) + "=" + std::to_string(colour));
  }
  void SetApplicationTitle(const std::string& title) override {
    Enter("SetApplicationTitle", title), applicationTitle = title;
  }
  void LoadCustomPointerImage(const std::string& path) override {
    Enter("LoadCustomPointerImage", path), customPointerImage = path;
  }
  MousePointer Pointer() override { return pointer; }
  void SetPointer(MousePointer value) override {
    Enter("SetPointer", std::to_string(static_cast<int>(value)));
    pointer = value;
  }
  void AddColumn(const std::string& header) override {
    Enter("AddColumn", header);
    columns.push_back(header);
    columnWidths.push_back(0);
  }
  void SetColumnWidth(int column, int twips) override {
    Enter("SetColumnWidth", std::to_string(column) + "=" + std::to_string(twips));
    if (column < 1 || column > static_cast<int>(columns.size())) throw Failure("Index out of bounds");
    columnWidths[column - 1] = twips;
  }
  void ClearRows() override { Enter("ClearRows"), rows.clear(); }
  int AddRow(const std::string& text, std::uint32_t item) override {
    Enter("AddRow", text);
    Row& row = rows.emplace_back();
    row.texts[0] = Shown(text);
    row.item = item;
    return static_cast<int>(rows.size());
  }
  void SetSubItem(int row, int subItem, const std::string& text) override {
    Enter("SetSubItem", text);
    rows.at(row - 1).texts.at(subItem) = Shown(text);
  }
  int RowCount() override { return Enter("RowCount"), static_cast<int>(rows.size()); }
  bool RowChecked(int row) override { return Enter("RowChecked"), rows.at(row - 1).checked; }
  std::string RowText(int row, int subItem) override { return Enter("RowText"), rows.at(row - 1).texts.at(subItem); }
  std::uint32_t RowItem(int row) override { return Enter("RowItem"), rows.at(row - 1).item; }
  void SetRowGreyed(int row, bool greyed) override {
    Enter("SetRowGreyed", std::to_string(row) + (greyed ? "=on" : "=off"));
    rows.at(row - 1).greyed = greyed;
  }
  RowMenuChoice ShowRowMenu(int row, bool canDisable, bool canEnable) override {
    Enter("ShowRowMenu");
    rows.at(row - 1);
    menus.push_back(std::to_string(row) + " disable=" + (canDisable ? "1" : "0") +
                    " enable=" + (canEnable ? "1" : "0"));
    return menuChoice;
  }
  void SetListRedraw(bool on) override { Enter("SetListRedraw", on ? "on" : "off"), listRedraw = on; }
  int CheckValue(CheckBox box) override { return Enter(std::string("CheckValue:") + CheckName(box)), Check(box); }
  void SetCheckValue(CheckBox box, int value) override {
    Enter(std::string("SetCheckValue:") + CheckName(box), std::to_string(value));
    Check(box) = value;
  }
  void SetCommandsEnabled(bool enabled) override {
    Enter("SetCommandsEnabled", enabled ? "on" : "off"), commandsEnabled = enabled;
  }
  int ShowMessage(const std::string& text, int style, const std::string& title) override {
    Enter("ShowMessage", title);
    if (refusedMessages.count(text)) throw Failure("The box could not be shown");
    boxes.push_back({text, style, title});
    return answer;
  }
  void DoEvents() override {
    askedSinceHandled = 0;
    Enter("DoEvents");
  }
  bool EventsDue() override { return eventsDueEvery > 0 && ++askedSinceHandled >= eventsDueEvery; }
  void EndProgram() override { Enter("EndProgram"), ended = true; }

  // A list control keeps a text up to its first U+0000.
  static std::string Shown(const std::string& text) { return text.substr(0, text.find('\0')); }

  static const char* CheckName(CheckBox box) {
    static const char* const names[] = {"Check1", "Check2", "Check3", "Check4", "Check5"};
    return names[static_cast<int>(box)];
  }

 private:
  void Enter(const std::string& operation, const std::string& argument = "") {
    log.push_back(argument.empty() ? operation : operation + "(" + argument + ")");
    FailurePlan::Check(operation);
    if (during) during(operation);
  }
};

class FakeSettingsStore : public SettingsStore, public FailurePlan {
 public:
  std::map<std::string, std::string> values;  // "application\section\key" -> text
  std::vector<std::string> writes;

  static std::string Path(const std::string& application, const std::string& section, const std::string& key) {
    return application + "\\" + section + "\\" + key;
  }
  std::optional<std::string> Read(const std::string& application, const std::string& section,
                                  const std::string& key) override {
    FailurePlan::Check("Read");
    auto it = values.find(Path(application, section, key));
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  void Write(const std::string& application, const std::string& section, const std::string& key,
             const std::string& text) override {
    FailurePlan::Check("Write");
    values[Path(application, section, key)] = text;
    writes.push_back(key + "=" + text);
  }
};

// ASCII letters folded, as the system compares paths and names.
inline std::string Folded(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}
inline std::u16string Folded(std::u16string text) {
  for (char16_t& c : text) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
  return text;
}

// UTF-16LE bytes of a text, as the registry and UTF-16 files hold it.
inline std::string Utf16Le(std::u16string_view text) { return Utf16LeBytes(text); }

// Files as Windows keeps them: a path in the exact form (\\?\C:\...) names
// exactly the file it spells; any other path is first normalised as Win32
// does, trailing dots and spaces of its last name trimmed and a device name
// (nul.lnk, con) taken for the device. Names are found as written first, then
// without regard to case, as on Wine, where a folder can hold A.lnk beside a.lnk.
class FakeFileSystem : public FileSystem, public FailurePlan {
 public:
  FakeFileSystem() { folders.insert("C:\\Users\\Ann\\AppData\\Local"); }  // the fake shell's LocalAppData
  std::string programFolder = "C:\\Program Files\\Vellorin Quade";
  std::set<std::string> existing;  // paths whose last-modified time can be read, besides the files
  std::map<std::string, std::string> files;  // path (plain, as the system names the file) -> bytes
  std::vector<std::string> listingOrder;     // the order folders list their files in
  std::set<std::string> unopenable;          // listed, but gone by the time they are opened
  std::set<std::string> unreadable;
  std::set<std::string> readOnly;
  std::set<std::string> folders;             // never files
  std::vector<std::string> deletes;          // "delete <path>" / "force <path>", in order
  std::vector<std::string> listed;           // the folders listed
  std::function<void()> whileFlushing;       // what another program does as a file is flushed
  std::set<std::string> unlistable;          // folders whose listing is refused, as a standard user's of the task store
  std::vector<std::pair<std::string, std::string>> flushes;  // path and content of each file at each flush

  void AddFile(const std::string& path, const std::string& bytes = "") {
    if (!files.count(path)) listingOrder.push_back(path);
    files[path] = bytes;
  }

  // The file a path names, as the system would find it: the path of the file,
  // or the path a new file would get.
  std::string Resolve(std::u16string_view path) const {
    if (path.starts_with(u"\\\\?\\")) return Find(Utf16ToUtf8(path.substr(4)));
    return Resolve(Utf16ToUtf8(path));
  }
  std::string Resolve(std::string path) const {
    if (path.starts_with("\\\\?\\")) return Resolve(Utf8ToUtf16(path));
    std::size_t name = path.rfind('\\') + 1;
    while (path.size() > name && (path.back() == '.' || path.back() == ' ')) path.pop_back();
    std::string base = Folded(path.substr(name, path.find('.', name) - name));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char* device : {"con", "prn", "aux", "nul"}) {
      if (base == device) return "\\\\.\\" + base;
    }
    return Find(path);
  }

  std::string ProgramFolder() override { return FailurePlan::Check("ProgramFolder"), programFolder; }
  std::int64_t LastModified(const std::string& path) override {
    FailurePlan::Check("LastModified");
    if (!existing.count(path) && !files.count(Resolve(path))) throw Failure("File not found");
    return 1;
  }
  std::int64_t FileLength(const std::string& path) override {
    return static_cast<std::int64_t>(Content(Resolve(path)).size());
  }
  std::string ReadBytes(const std::string& path) override {
    if (unreadable.count(path)) throw Failure("Permission denied");
    return Content(Resolve(path));
  }
  // The fake's ANSI code page is Latin-1.
  std::string AnsiToUtf8(std::string_view bytes) override {
    std::string text;
    for (char c : bytes) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x80) {
        text += c;
      } else {
        text += {static_cast<char>(0xC0 | (byte >> 6)), static_cast<char>(0x80 | (byte & 0x3F))};
      }
    }
    return text;
  }
  bool IsFile(const std::string& path) override { return files.count(Resolve(path)) > 0; }

  std::u16string ExactFolder(const std::string& folder) override {
    FailurePlan::Check("ExactFolder");
    std::string path = folder;
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    if (path.empty()) throw Failure("Bad file name or number");
    if (path.starts_with("\\\\")) return u"\\\\?\\UNC\\" + Utf8ToUtf16(path.substr(2));
    return u"\\\\?\\" + Utf8ToUtf16(path);
  }
  // Only "*.*" patterns: every file directly in the folder.
  void ListFiles(const std::u16string& exactFolder, const std::string& namePattern,
                 const std::function<void(const std::u16string&)>& each) override {
    FailurePlan::Check("ListFiles");
    if (unlistable.count(Resolve(exactFolder))) throw Failure("FindFirstFileExW failed: Access is denied.");
    const std::string folder = Resolve(exactFolder) + "\\";
    listed.push_back(folder + namePattern);
    for (const std::string& path : std::vector<std::string>(listingOrder)) {
      if (files.count(path) && Folded(path).starts_with(Folded(folder)) &&
          path.find('\\', folder.size()) == std::string::npos) {
        each(Utf8ToUtf16(path.substr(folder.size())));
      }
    }
  }
  // The folders right below: those made, and those the files below them imply, in the order first seen.
  void ListFolders(const std::u16string& exactFolder, const std::function<void(const std::u16string&)>& each) override {
    FailurePlan::Check("ListFolders");
    const std::string folder = Resolve(exactFolder);
    if (unlistable.count(folder)) throw Failure("FindFirstFileExW failed: Access is denied.");
    std::vector<std::string> below(listingOrder);
    below.insert(below.end(), folders.begin(), folders.end());
    std::set<std::string> seen;
    for (const std::string& path : below) {
      if (!Folded(path).starts_with(Folded(folder) + "\\")) continue;
      const std::size_t end = path.find('\\', folder.size() + 1);
      const bool isFile = end == std::string::npos && files.count(path);
      if (isFile) continue;
      const std::string name = path.substr(folder.size() + 1, end == std::string::npos ? std::string::npos : end - folder.size() - 1);
      if (seen.insert(Folded(name)).second) each(Utf8ToUtf16(name));
    }
  }
  bool OpensForPresence(const ExactPath& path) override {
    const std::string file = Resolve(path);
    return files.count(file) && !unopenable.count(file);
  }
  void PlainDelete(const ExactPath& path) override {
    const std::string file = Resolve(path);
    deletes.push_back("delete " + file);
    if (readOnly.count(file)) throw Failure("Access is denied");
    Remove(file);
  }
  void ForcedDelete(const ExactPath& path) override {
    const std::string file = Resolve(path);
    deletes.push_back("force " + file);
    FailurePlan::Check("ForcedDelete");
    Remove(file);
    readOnly.erase(file);
    // As the system may fail once the file is set to go: its read-only
    // attribute not put back, and the delete not to be called off.
    FailurePlan::Check("ForcedDeleteFinish");
  }
  bool otherVolume = false;  // moves go to another volume
  MoveResult MoveNamedFile(const ExactPath& from, const ExactPath& to) override {
    FailurePlan::Check("MoveNamedFile");
    const std::string source = Resolve(from), target = Resolve(to);
    if (!files.count(source) || unopenable.count(source)) throw Failure("Access is denied");
    if (Taken(target)) return MoveResult::NameTaken;
    if (otherVolume) return MoveResult::OtherVolume;
    const std::string bytes = files.at(source);
    const bool wasReadOnly = readOnly.erase(source) > 0;
    Remove(source);
    AddFile(target, bytes);
    if (wasReadOnly) readOnly.insert(target);
    return MoveResult::Moved;
  }
  bool CopyExactly(const ExactPath& from, const ExactPath& to) override {
    FailurePlan::Check("CopyExactly");
    const std::string source = Resolve(from), target = Resolve(to);
    if (!files.count(source)) throw Failure("Access is denied");
    if (Taken(target)) return false;
    AddFile(target, files.at(source));
    if (readOnly.count(source)) readOnly.insert(target);
    return true;
  }
  bool CreateFolder(const std::string& path) override {
    FailurePlan::Check("CreateFolder");
    if (folders.count(path) || files.count(path)) return false;
    const std::string parent = path.substr(0, path.rfind('\\'));
    if (parent.size() > 2 && !folders.count(parent)) throw Failure("The system cannot find the path specified");
    folders.insert(path);
    return true;
  }
  void RemoveEmptyFolder(const std::string& path) override {
    for (const auto& [file, bytes] : files) {
      if (file.starts_with(path + "\\")) throw Failure("The directory is not empty");
    }
    folders.erase(path);
  }
  std::unique_ptr<OutputFile> CreateNewFile(const ExactPath& path) override {
    FailurePlan::Check("CreateNewFile");
    const std::string file = Resolve(path);
    if (Taken(file) || folders.count(file)) throw Failure("The file exists");
    AddFile(file);
    return std::make_unique<Output>(*this, file);
  }
  void MoveOver(const ExactPath& from, const ExactPath& to) override {
    FailurePlan::Check("MoveOver");
    const std::string source = Resolve(from), target = Resolve(to);
    const std::string bytes = Content(source);
    Remove(source);
    if (!files.count(target)) listingOrder.push_back(target);
    files[target] = bytes;
  }

 private:
  // An Append that fails has written part of its bytes, as a full disk leaves it.
  struct Output : OutputFile {
    Output(FakeFileSystem& owner, std::string path) : owner(owner), path(std::move(path)) {}
    void Append(std::string_view bytes) override {
      try {
        owner.FailurePlan::Check("Append");
      } catch (const Failure&) {
        owner.files.at(path).append(bytes.substr(0, bytes.size() / 2));
        throw;
      }
      owner.files.at(path).append(bytes);
    }
    void Flush() override {
      owner.FailurePlan::Check("Flush");
      owner.flushes.emplace_back(path, owner.files.at(path));
      if (owner.whileFlushing) owner.whileFlushing();
    }
    void CutTo(std::uint64_t length) override {
      owner.FailurePlan::Check("CutTo");
      owner.files.at(path).resize(length);
    }
    FakeFileSystem& owner;
    std::string path;
  };
  // The file of this path as written, else one whose path differs only in case; else the path itself.
  std::string Find(const std::string& path) const {
    if (files.count(path)) return path;
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    for (const auto& [file, bytes] : files) {
      if (file.size() == path.size() &&
          std::equal(file.begin(), file.end(), path.begin(), [&](char a, char b) { return fold(a) == fold(b); })) {
        return file;
      }
    }
    return path;
  }
  bool Taken(const std::string& path) const { return files.count(Find(path)) > 0; }
  void Remove(const std::string& path) {
    if (!files.erase(path)) throw Failure("File not found");
    listingOrder.erase(std::find(listingOrder.begin(), listingOrder.end(), path));
  }
  const std::string& Content(const std::string& path) const {
    auto it = files.find(path);
    if (it == files.end()) throw Failure("File not found");
    return it->second;
  }
};

// Keys by hive and path, compared without letter case; a trailing backslash
// names the same key, as the registry takes it. Value names are compared
// without letter case too, as the registry compares them, and may hold any
// code unit, U+0000 included. A key may grant fewer rights than all, as a
// machine-wide key grants a standard user only reading: an open that asks
// for any right more is refused, and throws as the real open does.
class FakeRegistry : public Registry, public FailurePlan {
 public:
  struct Value {
    std::u16string name;
    std::uint32_t type;
    std::string data;
    Value(std::u16string name, std::uint32_t type, std::string data)
        : name(std::move(name)), type(type), data(std::move(data)) {}
    Value(std::string_view utf8Name, std::uint32_t type, std::string data)
        : Value(Utf8ToUtf16(utf8Name), type, std::move(data)) {}
  };
  std::map<std::string, std::vector<Value>> keys;  // every key, the keys above it included
  std::map<std::string, std::string> keyPaths;      // each key's path as first written
  std::vector<std::string> opened;  // "<access>|<path>" of every open asked for
  int openKeys = 0;
  std::set<std::u16string> protectedNames;  // values whose delete the registry refuses
  std::map<std::string, std::uint32_t> granted;  // by key id: the rights an open may ask for
  std::map<std::string, std::int64_t> written;   // by key id: its last-write time (0 when not set)
  std::function<void(const std::string& name)> beforeDelete;  // the name as UTF-8
  std::vector<std::map<std::string, std::vector<Value>>::node_type> deletedKeys;  // keys deleted whole
  std::vector<std::string> created;  // the path of every key CreateKey made

  // As the registry reads a path: separators repeated or at the end count
  // once, and CurrentControlSet is the control set it links to.
  static std::string Canonical(std::string path) {
    for (std::size_t at; (at = path.find("\\\\")) != std::string::npos;) path.erase(at, 1);
    if (!path.empty() && path.back() == '\\') path.pop_back();
    if (Folded(path).starts_with("system\\currentcontrolset")) path.replace(7, 17, "ControlSet001");
    return path;
  }
  static std::string Id(Hive hive, const std::string& path) {
    return std::to_string(static_cast<std::uint32_t>(hive)) + ":" + Folded(Canonical(path));
  }
  std::vector<Value>& Key(Hive hive, std::string path) {
    path = Canonical(path);
    for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
      keyPaths.emplace(Id(hive, path.substr(0, at)), path.substr(0, at));
      keys[Id(hive, path.substr(0, at))];
    }
    keyPaths.emplace(Id(hive, path), path);
    return keys[Id(hive, path)];
  }
  // A REG_SZ with its terminator.
  void SetText(Hive hive, const std::string& path, std::u16string_view name, std::u16string_view text) {
    Key(hive, path).push_back({std::u16string(name), regtype::kSz, Utf16Le(text) + std::string(2, '\0')});
  }
  void SetText(Hive hive, const std::string& path, std::string_view utf8Name, std::u16string_view text) {
    SetText(hive, path, Utf8ToUtf16(utf8Name), text);
  }

  // Lets the key be opened only for these rights (kKeyListing: what a
  // standard user has on a machine-wide key).
  void Grant(Hive hive, const std::string& path, std::uint32_t rights) { granted[Id(hive, path)] = rights; }

  std::unique_ptr<RegistryKey> OpenKey(Hive hive, std::u16string_view path, std::uint32_t access) override {
    FailurePlan::Check("OpenKey");
    const std::string text = Utf16ToUtf8(path);
    opened.push_back(std::to_string(access) + "|" + text);
    if (text.empty()) Key(hive, "");  // a hive's root is always there
    auto it = keys.find(Id(hive, text));
    if (it == keys.end()) return nullptr;
    if (auto rights = granted.find(it->first); rights != granted.end() && (access & ~rights->second) != 0) {
      throw Failure("RegOpenKeyExW failed: Access is denied.");
    }
    return std::make_unique<OpenedKey>(*this, hive, it->first, it->second, access);
  }

  // Creates the missing keys where the nearest key above that is there
  // grants the right to create keys below it (a key nothing was granted for grants all).
  std::unique_ptr<RegistryKey> CreateKey(Hive hive, std::u16string_view path, std::uint32_t access) override {
    FailurePlan::Check("CreateKey");
    const std::string text = Canonical(Utf16ToUtf8(path));
    if (!keys.count(Id(hive, text))) {
      std::string above = text;
      while (!above.empty() && !keys.count(Id(hive, above))) {
        const std::size_t at = above.rfind('\\');
        above = at == std::string::npos ? "" : above.substr(0, at);
      }
      const auto rights = granted.find(Id(hive, above));
      if (rights != granted.end() && !(rights->second & kKeyCreateSubKey)) {
        throw Failure("Access is denied. (RegCreateKeyExW)");
      }
      Key(hive, text);
      created.push_back(text);
    }
    auto key = OpenKey(hive, path, access);
    if (!key) throw Failure("The system cannot find the file specified. (RegCreateKeyExW)");
    return key;
  }

 private:
  // An open key does only what the rights it was opened with allow, as a handle does.
  class OpenedKey : public RegistryKey {
   public:
    OpenedKey(FakeRegistry& registry, Hive hive, std::string id, std::vector<Value>& values, std::uint32_t access)
        : registry_(registry), hive_(hive), id_(std::move(id)), values_(values), access_(access) {
      ++registry_.openKeys;
    }
    ~OpenedKey() override { --registry_.openKeys; }
    EnumResult EnumValue(std::uint32_t index, std::size_t nameRoom, std::size_t dataRoom,
                         RegistryValue& value) override {
      registry_.FailurePlan::Check("EnumValue");
      if (!(access_ & kKeyQueryValue) || index >= values_.size()) return EnumResult::End;
      const Value& stored = values_[index];
      if (stored.name.size() >= nameRoom || stored.data.size() > 2 * dataRoom) return EnumResult::TooLarge;
      value = {stored.name, stored.type, stored.data};
      return EnumResult::Value;
    }
    std::optional<StoredValue> QueryValue(std::u16string_view name) override {
      registry_.FailurePlan::Check("QueryValue");
      if (!(access_ & kKeyQueryValue)) throw Failure("NtQueryValueKey failed: Access is denied.");
      auto it = Named(name);
      if (it == values_.end()) return std::nullopt;
      return StoredValue{it->type, it->data};
    }
    bool DeleteValue(std::u16string_view name) override {
      registry_.FailurePlan::Check("DeleteValue");
      if (registry_.beforeDelete) registry_.beforeDelete(Utf16ToUtf8(name));
      if (!(access_ & kKeySetValue) || registry_.protectedNames.count(std::u16string(name))) return false;
      auto it = Named(name);
      if (it == values_.end()) return false;
      values_.erase(it);
      return true;
    }

    bool SetValue(std::u16string_view name, std::uint32_t type, std::string_view data) override {
      registry_.FailurePlan::Check("SetValue");
      if (!(access_ & kKeySetValue)) return false;
      auto it = Named(name);
      if (it == values_.end()) {
        values_.push_back({std::u16string(name), type, std::string(data)});
      } else {
        it->type = type;
        it->data = data;
      }
      return true;
    }
    // The keys right below, in the order of their folded names.
    EnumResult EnumSubKey(std::uint32_t index, std::u16string& name) override {
      if (!(access_ & kKeyEnumerateSubKeys)) return EnumResult::End;
      std::uint32_t seen = 0;
      // Below a hive's root ("<hive>:") the first name follows the colon.
      const std::string above = id_.ends_with(':') ? id_ : id_ + "\\";
      for (const auto& [id, path] : registry_.keyPaths) {
        if (id == id_ || !id.starts_with(above) || id.find('\\', above.size()) != std::string::npos) continue;
        if (seen++ == index) {
          name = Utf8ToUtf16(path.substr(path.rfind('\\') + 1));
          return EnumResult::Value;
        }
      }
      return EnumResult::End;
    }
    std::int64_t LastWriteTime() override {
      auto it = registry_.written.find(id_);
      return it == registry_.written.end() ? 0 : it->second;
    }
    std::u16string FullName() override {
      return u"\\REGISTRY\\" + Utf8ToUtf16(std::to_string(static_cast<std::uint32_t>(hive_))) + u"\\" +
             Utf8ToUtf16(registry_.keyPaths.at(id_));
    }
    std::unique_ptr<RegistryKey> OpenSubKey(std::u16string_view name, std::uint32_t access) override {
      return registry_.OpenKey(hive_, Utf8ToUtf16(registry_.keyPaths.at(id_)) + u"\\" + std::u16string(name), access);
    }
    bool DeleteKey() override {
      registry_.FailurePlan::Check("DeleteKey");
      std::u16string below;
      if (!(access_ & kKeyDelete) || !registry_.keys.count(id_)) return false;
      // Any key below keeps it, whatever this handle may enumerate.
      const std::string above = id_ + "\\";
      for (const auto& [id, path] : registry_.keyPaths) {
        if (id.starts_with(above)) return false;
      }
      // Handles still open on it keep what it held, as the registry's do.
      registry_.deletedKeys.push_back(registry_.keys.extract(id_));
      registry_.keyPaths.erase(id_);
      return true;
    }

   private:
    std::vector<Value>::iterator Named(std::u16string_view name) {
      const std::u16string folded = Folded(std::u16string(name));
      return std::find_if(values_.begin(), values_.end(),
                          [&](const Value& value) { return Folded(value.name) == folded; });
    }
    FakeRegistry& registry_;
    Hive hive_;
    std::string id_;
    std::vector<Value>& values_;
    std::uint32_t access_;
  };
};

class FakeShell : public Shell, public FailurePlan {
 public:
  std::map<int, std::string> folders = {{csidl::kStartup, "C:\\Users\\Ann\\Start Menu\\Programs\\Startup"},
                                        {csidl::kCommonStartup, "C:\\ProgramData\\Start Menu\\Programs\\Startup"},
                                        {csidl::kSystem, "C:\\WINDOWS\\system32"}};
  std::optional<std::string> user = "Ann";

  std::string SpecialFolderPath(int csidl) override {
    FailurePlan::Check("SpecialFolderPath");
    auto it = folders.find(csidl);
    return it == folders.end() ? "" : it->second;
  }
  std::optional<std::string> UserName() override { return FailurePlan::Check("UserName"), user; }
  std::string localAppData = "C:\\Users\\Ann\\AppData\\Local";
  std::string LocalAppDataFolder() override { return localAppData; }
  std::string account = "PC\\Ann";
  std::string AccountName() override { return account; }
  std::map<std::string, std::string> shortcuts;  // shortcut file -> its target
  std::string ShortcutTarget(const std::string& path) override {
    auto it = shortcuts.find(path);
    return it == shortcuts.end() ? "" : it->second;
  }
  // %SystemRoot% and %windir% are C:\WINDOWS, as the system folder says.
  std::string ExpandEnvironment(const std::string& text) override {
    std::string expanded = text;
    for (const char* variable : {"%SystemRoot%", "%windir%"}) expanded = ReplaceAll(expanded, variable, "C:\\WINDOWS");
    return expanded;
  }
};

// Services as the management query returns them; a property left nullopt is null.
class FakeServices : public Services, public FailurePlan {
 public:
  struct Service {
    std::optional<std::string> name, displayName, state;
    bool acceptsStop = true;
  };
  std::vector<Service> services;
  // What the service control manager tells of each service and driver, in
  // its order; a service the running account may not query has configRead
  // false, as the manager refuses SERVICE_QUERY_CONFIG.
  std::vector<ServiceConfig> configs;
  std::vector<ServiceFault> configFaults;  // services whose configuration cannot be read otherwise
  std::vector<ServiceConfig> ListServiceConfigs(std::vector<ServiceFault>& faults) override {
    FailurePlan::Check("ListServiceConfigs");
    faults.insert(faults.end(), configFaults.begin(), configFaults.end());
    return configs;
  }
  std::string connectedTo, query;
  int liveObjects = 0;  // connections, queries and objects not yet released
  std::vector<std::string> stops;

  // A running service that accepts the stop is stopped at once; the state it reports is 1.
  std::uint32_t StopService(const std::string& name) override {
    stops.push_back(name);
    FailurePlan::Check("StopService");
    for (Service& service : services) {
      if (service.name == name && service.state == "Running" && service.acceptsStop) {
        service.state = "Stopped";
        return 1;
      }
    }
    return 0;
  }

  std::unique_ptr<ManagementNamespace> ConnectManagement(const std::string& path, EventPump&) override {
    FailurePlan::Check("ConnectManagement");
    connectedTo = path;
    return std::make_unique<Namespace>(*this);
  }

 private:
  struct Live {
    explicit Live(FakeServices& owner) : owner(owner) { ++owner.liveObjects; }
    ~Live() { --owner.liveObjects; }
    FakeServices& owner;
  };
  struct Object : ManagementObject, Live {
    Object(FakeServices& owner, const Service& service) : Live(owner), service(service) {}
    std::optional<std::string> Text(const std::string& property) override {
      owner.FailurePlan::Check("Text:" + property);
      if (property == "Name") return service.name;
      if (property == "DisplayName") return service.displayName;
      if (property == "State") return service.state;
      throw Failure("Not found");
    }
    const Service& service;
  };
  struct Query : ManagementQuery, Live {
    using Live::Live;
    std::unique_ptr<ManagementObject> Next(EventPump&) override {
      owner.FailurePlan::Check("Next");
      if (next == owner.services.size()) return nullptr;
      return std::make_unique<Object>(owner, owner.services[next++]);
    }
    std::size_t next = 0;
  };
  struct Namespace : ManagementNamespace, Live {
    using Live::Live;
    std::unique_ptr<ManagementQuery> ExecQuery(const std::string& wql, EventPump&) override {
      owner.FailurePlan::Check("ExecQuery");
      owner.query = wql;
      return std::make_unique<Query>(owner);
    }
  };
};

class FakeSkin : public SkinFramework, public FailurePlan {
 public:
  std::vector<std::string> calls;
  std::int32_t options = 0x10;

  void LoadSkin(const std::string& path, const std::string& section) override {
    calls.push_back("LoadSkin(" + path + "," + section + ")");
    FailurePlan::Check("LoadSkin");
  }
  std::int32_t ApplyOptions() override { return calls.push_back("ApplyOptions"), options; }
  void SetApplyOptions(std::int32_t value) override {
    calls.push_back("SetApplyOptions(" + std::to_string(value) + ")");
    options = value;
  }
  void SetSkinLists(bool on) override { calls.push_back(std::string("SetSkinLists(") + (on ? "true)" : "false)")); }
  void SetSkinButtons(bool on) override { calls.push_back(std::string("SetSkinButtons(") + (on ? "true)" : "false)")); }
  void ApplyWindow(std::int32_t handle) override { calls.push_back("ApplyWindow(" + std::to_string(handle) + ")"); }
};

// A backup that keeps nothing and lets every removal go ahead, as walks did
// before there were backups.
class NoBackup : public RemovalBackup {
 public:
  std::optional<std::size_t> SaveValue(const RegistryValueItem&, RegistryKey&) override { return 0; }
  bool FlushValues() override { return true; }
  FileSaved SaveFile(const StartupFileItem&, std::size_t& entry) override { return entry = 0, FileSaved::Kept; }
  void ValueRemoved(std::size_t, bool) override {}
  void FileRemoved(std::size_t, bool) override {}
  std::optional<std::size_t> SaveTask(const ScheduledTaskItem&, std::string_view) override { return 0; }
  void TaskRemoved(std::size_t, bool) override {}
  void Finish() override {}
};

class FakeClock : public Clock {
 public:
  LocalTime now{2026, 12, 8, 14, 3, 7};
  LocalTime Now() override { return now; }
  std::int64_t fileTime = 134412121870000000;  // 2026-12-08 14:03:07 UTC
  std::int64_t SystemFileTime() override { return fileTime; }
};

// Program files over the fake file system's bytes. A file's signatures are
// what the test says the trust provider finds (none, unless told); its
// digests are the algorithm's name and the bytes taken, as hex tells them, so
// that a test sees exactly which bytes each hash took.
class FakeImageFiles : public ImageFiles {
 public:
  explicit FakeImageFiles(FakeFileSystem& files) : files_(files) {}
  std::map<std::string, TrustVerdict> embedded;  // by path; none: no signature
  std::map<std::string, TrustVerdict> catalog;   // by path; none: no catalog lists it
  std::map<std::string, int> opens;              // by path
  std::set<std::string> silent;                  // on a share that does not answer
  std::vector<std::string> checks;               // "embedded <path>" / "catalog <path>", in order

  std::unique_ptr<ImageFile> Open(const std::string& path) override {
    ++opens[path];
    if (silent.count(path)) throw Failure("The share did not answer");
    return std::make_unique<File>(*this, path, files_.ReadBytes(path));
  }
  std::string Digest(HashAlgorithm algorithm, const std::vector<std::string_view>& pieces) override {
    std::string digest = algorithm == HashAlgorithm::Md5 ? "md5:" : algorithm == HashAlgorithm::Sha1 ? "sha1:" : "sha256:";
    for (std::string_view piece : pieces) digest += piece;
    return digest;
  }

 private:
  struct File : ImageFile {
    File(FakeImageFiles& owner, std::string path, std::string bytes)
        : owner(owner), path(std::move(path)), bytes(std::move(bytes)) {}
    std::string ReadAll() override { return bytes; }
    TrustVerdict CheckEmbeddedSignature() override {
      owner.checks.push_back("embedded " + path);
      const auto found = owner.embedded.find(path);
      return found != owner.embedded.end() ? found->second
                                           : TrustVerdict{trust::kNoSignature, "", "No signature was present in the subject"};
    }
    std::optional<TrustVerdict> CheckCatalogSignature() override {
      owner.checks.push_back("catalog " + path);
      const auto found = owner.catalog.find(path);
      return found != owner.catalog.end() ? std::optional<TrustVerdict>(found->second) : std::nullopt;
    }
    FakeImageFiles& owner;
    std::string path, bytes;
  };
  FakeFileSystem& files_;
};

// Accounts and profile hives. Loading a hive file puts what the test wrote
// for it below HKEY_USERS\<name>; unloading takes it away again.
class FakeProfiles : public Profiles {
 public:
  FakeProfiles(FakeRegistry& registry, FakeFileSystem& files) : registry_(registry), files_(files) {}
  std::string currentSid = "S-1-5-21-7-1000";
  std::map<std::string, std::string> accounts;  // by SID
  // By hive file: what its keys hold, as (path below the hive, value name, text).
  std::map<std::string, std::vector<std::tuple<std::string, std::string, std::u16string>>> hiveFiles;
  std::vector<std::string> loads;  // "load <name>", "unload <name>"

  std::string CurrentSid() override { return currentSid; }
  std::string AccountOf(const std::string& sid) override {
    const auto found = accounts.find(sid);
    return found == accounts.end() ? "" : found->second;
  }
  std::unique_ptr<LoadedHive> LoadHive(const std::string& file, const std::u16string& name) override {
    const auto hive = hiveFiles.find(file);
    if (!files_.IsFile(file) || hive == hiveFiles.end()) throw Failure("The process cannot access the file");
    const std::string prefix = Utf16ToUtf8(name) + "\\";
    for (const auto& [path, value, text] : hive->second) registry_.SetText(Hive::Users, prefix + path, value, text);
    loads.push_back("load " + Utf16ToUtf8(name));
    return std::make_unique<Loaded>(*this, name);
  }

 private:
  struct Loaded : LoadedHive {
    Loaded(FakeProfiles& owner, std::u16string name) : owner(owner), name(std::move(name)) {}
    ~Loaded() override {
      const std::string below = FakeRegistry::Id(Hive::Users, Utf16ToUtf8(name));
      std::erase_if(owner.registry_.keys, [&](const auto& key) { return key.first.starts_with(below); });
      std::erase_if(owner.registry_.keyPaths, [&](const auto& key) { return key.first.starts_with(below); });
      owner.loads.push_back("unload " + Utf16ToUtf8(name));
    }
    const std::u16string& Name() const override { return name; }
    FakeProfiles& owner;
    std::u16string name;
  };
  FakeRegistry& registry_;
  FakeFileSystem& files_;
};

// The Task Scheduler as it shows itself to the user the program runs as: a
// task the user may not read is neither listed nor handed over, one the user
// may not delete stays, and one whose registration lost its security
// descriptor is hidden from the scheduler altogether though its file runs.
// Wine's scheduler lists folders but cannot enumerate a folder's tasks. A
// task may also be in the task store's files, which its delete takes too.
class FakeTaskScheduler : public TaskScheduler, public FailurePlan {
 public:
  explicit FakeTaskScheduler(FakeFileSystem& files) : files_(files) {}
  static constexpr char kStore[] = "C:\\WINDOWS\\system32\\Tasks";
  struct Task {
    std::string folder, name;  // "\\Vendor" and "Name", as UTF-8
    std::string xml;
    bool readable = true;
    bool deletable = true;
    bool hidden = false;
  };
  bool running = true;     // Connect answers
  bool enumerable = true;  // a folder's tasks can be listed (not on Wine)
  bool failsAfterDelete = false;  // a delete answers with a failure once it has taken the task
  std::vector<std::string> folders = {"\\"};  // every folder, in the scheduler's order
  std::vector<Task> tasks;                      // in the scheduler's order
  std::vector<std::string> deletes;             // the full paths asked to go
  int connections = 0;                          // not yet let go

  Task& Add(const std::string& folder, const std::string& name, const std::string& xml) {
    // Each folder on the way: \A before \A\B.
    for (std::size_t at = folder.find('\\', 1);; at = folder.find('\\', at + 1)) {
      const std::string above = folder.substr(0, at);
      if (above != "\\" && std::find(folders.begin(), folders.end(), above) == folders.end()) folders.push_back(above);
      if (at == std::string::npos) break;
    }
    return tasks.emplace_back(Task{folder, name, xml});
  }
  // The task's file in the store, as Windows writes it: UTF-16LE after a byte-order mark.
  static std::string StorePath(const std::string& folder, const std::string& name) {
    return std::string(kStore) + (folder == "\\" ? "" : folder) + "\\" + name;
  }
  Task& AddWithFile(const std::string& folder, const std::string& name, const std::string& xml) {
    files_.AddFile(StorePath(folder, name), "\xFF\xFE" + Utf16LeBytes(Utf8ToUtf16(xml)));
    return Add(folder, name, xml);
  }
  Task* Find(const TaskPath& path) {
    for (Task& task : tasks) {
      if (Folded(task.folder) == Folded(Utf16ToUtf8(path.folder)) && Folded(task.name) == Folded(Utf16ToUtf8(path.name))) {
        return &task;
      }
    }
    return nullptr;
  }

  std::unique_ptr<TaskService> Connect() override {
    FailurePlan::Check("Connect");
    if (!running) return nullptr;
    return std::make_unique<Service>(*this);
  }

 private:
  struct Service : TaskService {
    explicit Service(FakeTaskScheduler& owner) : owner(owner) { ++owner.connections; }
    ~Service() override { --owner.connections; }
    std::vector<std::u16string> SubFolders(std::u16string_view folder, EventPump&) override {
      owner.FailurePlan::Check("SubFolders");
      const std::string above = Folded(Utf16ToUtf8(folder));
      std::vector<std::u16string> names;
      for (const std::string& path : owner.folders) {
        const std::size_t last = path.rfind('\\');
        const std::string parent = last == 0 ? "\\" : path.substr(0, last);
        if (path != "\\" && Folded(parent) == above) names.push_back(Utf8ToUtf16(path.substr(last + 1)));
      }
      return names;
    }
    std::optional<std::vector<ListedTask>> Tasks(std::u16string_view folder, EventPump&) override {
      owner.FailurePlan::Check("Tasks");
      if (!owner.enumerable) return std::nullopt;
      std::vector<ListedTask> listed;
      for (const Task& task : owner.tasks) {
        if (Folded(task.folder) == Folded(Utf16ToUtf8(folder)) && task.readable && !task.hidden) {
          listed.push_back({Utf8ToUtf16(task.name), task.xml});
        }
      }
      return listed;
    }
    std::optional<std::string> TaskXml(const TaskPath& path) override {
      owner.FailurePlan::Check("TaskXml");
      const Task* task = owner.Find(path);
      if (!task || !task->readable || task->hidden) return std::nullopt;
      return task->xml;
    }
    bool DeleteTask(const TaskPath& path) override {
      owner.FailurePlan::Check("DeleteTask");
      owner.deletes.push_back(Utf16ToUtf8(path.Full()));
      // Only a task whose own path is exactly the one asked goes.
      Task* task = owner.Find(path);
      if (!task || !task->deletable || Utf8ToUtf16(task->folder) != path.folder || Utf8ToUtf16(task->name) != path.name) {
        return false;
      }
      const std::string file = StorePath(task->folder, task->name);
      if (owner.files_.files.count(file)) owner.files_.PlainDelete(u"\\\\?\\" + Utf8ToUtf16(file));
      owner.tasks.erase(owner.tasks.begin() + (task - owner.tasks.data()));
      if (owner.failsAfterDelete) throw Failure("The remote procedure call failed.");
      return true;
    }
    FakeTaskScheduler& owner;
  };
  FakeFileSystem& files_;
};

// One fake of each platform interface, handed out together as the program takes them.
struct FakePlatform {
  FakeWindow window;
  FakeSettingsStore settings;
  FakeFileSystem files;
  FakeRegistry registry;
  FakeShell shell;
  FakeServices services;
  FakeSkin skin;
  FakeClock clock;
  FakeImageFiles images{files};
  FakeProfiles profiles{registry, files};
  FakeTaskScheduler tasks{files};
  Platform Get() { return {window, settings, files, registry, shell, services, skin, clock, images, profiles, tasks}; }
};

}  // namespace vq::test
