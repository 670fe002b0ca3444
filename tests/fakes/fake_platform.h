#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/main_window.h"
#include "platform/platform.h"
#include "platform/settings_store.h"

namespace vq::test {

// Makes a named operation throw Failure with the given description.
class FailurePlan {
 public:
  void Fail(const std::string& operation, const std::string& description) { plan_[operation] = description; }
  void Check(const std::string& operation) const {
    if (auto it = plan_.find(operation); it != plan_.end()) throw Failure(it->second);
  }

 private:
  std::map<std::string, std::string> plan_;
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
  };

  std::vector<std::string> log;
  std::vector<Box> boxes;
  std::vector<std::string> columns;
  std::vector<int> columnWidths;
  std::vector<Row> rows;
  int checks[4] = {0, 0, 0, 0};
  MousePointer pointer = MousePointer::Default;
  std::string caption, applicationTitle, customPointerImage;
  bool commandsEnabled = true;
  bool listRedraw = true;
  bool ended = false;
  int answer = msgbox::kOk;
  // Runs at the start of every operation, after its failure check; lets a
  // test act as the user would while the program works.
  std::function<void(const std::string& operation)> during;

  int& Check(CheckBox box) { return checks[static_cast<int>(box)]; }

  void SetCaption(const std::string& text) override { Enter("SetCaption", text), caption = text; }
  void SetProgramIcon() override { Enter("SetProgramIcon"); }
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
  int AddRow(const std::string& text) override {
    Enter("AddRow", text);
    rows.emplace_back().texts[0] = text;
    return static_cast<int>(rows.size());
  }
  void SetSubItem(int row, int subItem, const std::string& text) override {
    Enter("SetSubItem", text);
    rows.at(row - 1).texts.at(subItem) = text;
  }
  int RowCount() override { return Enter("RowCount"), static_cast<int>(rows.size()); }
  bool RowChecked(int row) override { return Enter("RowChecked"), rows.at(row - 1).checked; }
  std::string RowText(int row, int subItem) override { return Enter("RowText"), rows.at(row - 1).texts.at(subItem); }
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
    boxes.push_back({text, style, title});
    return answer;
  }
  void DoEvents() override { Enter("DoEvents"); }
  void EndProgram() override { Enter("EndProgram"), ended = true; }

  static const char* CheckName(CheckBox box) {
    static const char* const names[] = {"Check1", "Check2", "Check3", "Check4"};
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

class FakeFileSystem : public FileSystem, public FailurePlan {
 public:
  std::string programFolder = "C:\\Program Files\\Vellorin Quade";
  std::set<std::string> existing;  // paths whose last-modified time can be read

  std::string ProgramFolder() override { return FailurePlan::Check("ProgramFolder"), programFolder; }
  std::int64_t LastModified(const std::string& path) override {
    FailurePlan::Check("LastModified");
    if (!existing.count(path)) throw Failure("File not found");
    return 1;
  }
};

// One fake of each platform interface, handed out together as the program takes them.
struct FakePlatform {
  FakeWindow window;
  FakeSettingsStore settings;
  FakeFileSystem files;
  Platform Get() { return {window, settings, files}; }
};

}  // namespace vq::test
