#pragma once

#include <string>

#include "platform/platform.h"

namespace vq {

// The main window's program: start-up, the item list and its filters. The
// collectors append rows straight into the window's list, which is the only
// store of items.
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
  void Form_Unload() override;

  // Stores a filter box's value under its settings key.
  void Check_Click(CheckBox box);

  // True while a refresh (or a delete walk) runs; clicks on the command
  // buttons are not taken then.
  bool Busy() const { return busyDepth_ > 0; }

 protected:
  // The collectors, each appending its own rows and reporting its own failures.
  virtual void GetRegistryItems();
  virtual void GetStartup();
  virtual void GetSysFile();
  virtual void GetServices();

  // The name of the user the program runs as, or empty text.
  std::string CurrentUser();

  MainWindow& window_;
  SettingsStore& settings_;
  FileSystem& files_;
  Registry& registry_;
  Shell& shell_;
  Services& services_;

 private:
  class BusyScope;

  void ApplySkin();
  std::string AllUsersStartupFolder(const std::string& user, const std::string& userFolder);
  void RestoreCheckBox(CheckBox box, const char* defaultText);

  int busyDepth_ = 0;
};

// The settings key (and control name) of a filter box: "Check1" … "Check4".
const char* CheckBoxKey(CheckBox box);

}  // namespace vq
