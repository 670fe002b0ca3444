#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/report_box.h"
#include "collectors/gathering.h"
#include "entries/error_trap.h"
#include "entries/startup_approved.h"
#include "entries/startup_items.h"
#include "platform/platform.h"

namespace vq {

class ErrorTrap;
class RemovalBackup;

// The main window's program: start-up, the item list and its filters. The
// collectors hand their rows to the window's list; each row carries the
// number of its item in the table beside the list, which holds exactly what
// the row stands for.
class Form1 : public WindowEvents {
 public:
  explicit Form1(const Platform& platform);
  ~Form1() override = default;

  // The start-up sequence; the window shows once it has returned.
  void Form_Load();
  // Clears the list and gathers it anew from the sources the filter boxes choose.
  void LoadItems();

  // What the user does on the window.
  void PushButton1_Click() override;
  void PushButton4_Click() override;
  void CheckBox_UserClick(CheckBox box) override;
  void MouseMove(PointerArea area) override;
  // The row's shortcut menu: switches what it stands for off or on as
  // Explorer's Startup apps page does, leaving the entry itself as it is.
  void ListView1_RowMenu(int row) override;
  void Form_Unload() override;

  // Stores a filter box's value under its settings key.
  void Check_Click(CheckBox box);

  // True while a refresh (or a delete walk) runs; clicks on the command
  // buttons are not taken then.
  bool Busy() const { return busyDepth_ > 0; }

 protected:
  // The collectors, each appending its own rows to the list and reporting its own failures.
  virtual void GetRegistryItems();
  virtual void GetStartup();
  virtual void GetSysFile();
  virtual void GetServices();
  virtual void GetTasks();

  // The delete command's walk over the ticked rows.
  void DeleteItem();
  // The backup the next delete walk saves into before it deletes.
  virtual std::unique_ptr<RemovalBackup> StartBackup();

  MainWindow& window_;
  ReportBox reportBox_{window_};
  // What the rows stand for, gathered anew with them.
  ItemTable items_;
  SettingsStore& settings_;
  FileSystem& files_;
  Registry& registry_;
  Shell& shell_;
  Services& services_;
  SkinFramework& skin_;
  Clock& clock_;
  TaskScheduler& tasks_;

 private:
  // Marks the program busy for a refresh or a delete walk: the command
  // buttons and the list are disabled (no tick changes after the question was
  // answered), and clicks that arrive while it yields to the window are dropped.
  class BusyScope {
   public:
    explicit BusyScope(Form1& form) : form_(form) {
      if (form_.busyDepth_++ == 0) SetCommands(false);
    }
    ~BusyScope() {
      if (--form_.busyDepth_ == 0) SetCommands(true);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    void SetCommands(bool enabled) noexcept {
      try {
        form_.window_.SetCommandsEnabled(enabled);
      } catch (...) {
        // The guard on busyDepth_ still keeps a second run out.
      }
    }
    Form1& form_;
  };

  // The window's list as the collectors' sink: each row's item goes into the
  // table, its number into the row.
  class ListSink final : public RowSink {
   public:
    explicit ListSink(Form1& form) : form_(form) {}
    int AddRow(const std::string& type, RowFacts facts) override {
      const int row = form_.window_.AddRow(type, facts.item ? form_.items_.Add(std::move(*facts.item)) : 0);
      if (facts.disabled) form_.window_.SetRowGreyed(row, true);
      return row;
    }
    void SetSubItem(int row, int subItem, const std::string& text) override {
      form_.window_.SetSubItem(row, subItem, text);
    }
    void DoEvents() override { form_.window_.DoEvents(); }
    bool EventsDue() override { return form_.window_.EventsDue(); }
    void ReportFailure(std::string_view description, std::string_view location, int statement) override {
      form_.reportBox_.ReportFailure(description, location, statement);
    }

   private:
    Form1& form_;
  };
  Gathering ToList() { return {listSink_, registry_, shell_, files_, services_, tasks_}; }

  void ApplySkin();
  struct Walk;
  void RemoveRow(ErrorTrap& trap, Walk& walk, int row);
  void SaveRegistryRun(Walk& walk, int first);
  void RemoveSwitch(Walk& walk, const std::optional<StartupSwitch>& at);
  // What a row stands for: null for a row that carries no item. Throws
  // Failure for an item number the table does not know.
  const StartupItem* ItemOf(int row);
  std::optional<RegistryValueItem> RegistryValueOf(int row, bool withName);
  StartupFileItem StartupFileOf(int row);
  ScheduledTaskItem ScheduledTaskOf(int row);
  void RestoreCheckBox(CheckBox box, const char* defaultText);

  int busyDepth_ = 0;
  bool walking_ = false;       // a delete walk is under way
  bool endAfterWalk_ = false;  // the window was closed meanwhile
  ListSink listSink_{*this};
};

// The settings key (and control name) of a filter box: "Check1" … "Check5".
const char* CheckBoxKey(CheckBox box);

}  // namespace vq
