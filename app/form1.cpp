#include "app/form1.h"

#include "app/settings.h"
#include "app/vb_conversion.h"
#include "entries/error_trap.h"
#include "entries/main_module.h"
#include "platform/failure.h"
#include "platform/form1_layout.h"

namespace vq {

namespace {

struct ColumnDesign {
  const char* header;
  int widthTwips;
};
// The fourth column holds data but stays collapsed until the user widens it.
constexpr ColumnDesign kColumns[] = {{"Type", 1500}, {"Location", 2800}, {"Item", 2800}, {"Extra Details", 1}};

constexpr const char kCursorFile[] = "\\HAND-M.CUR";

// Painting each row as it arrives costs far more than adding the rows, so the
// list repaints once, when the collectors are done.
class ListRedrawPause {
 public:
  explicit ListRedrawPause(MainWindow& window) : window_(window) { Set(false); }
  ~ListRedrawPause() { Resume(); }
  ListRedrawPause(const ListRedrawPause&) = delete;
  ListRedrawPause& operator=(const ListRedrawPause&) = delete;
  void Resume() noexcept {
    if (paused_) Set(true);
  }

 private:
  void Set(bool redraw) noexcept {
    try {
      window_.SetListRedraw(redraw);
      paused_ = !redraw;
    } catch (const std::exception&) {
      // Painting is not worth a report: the rows are there either way.
    }
  }
  MainWindow& window_;
  bool paused_ = false;
};

}  // namespace

const char* CheckBoxKey(CheckBox box) {
  switch (box) {
    case CheckBox::Check1: return "Check1";
    case CheckBox::Check2: return "Check2";
    case CheckBox::Check3: return "Check3";
    case CheckBox::Check4: return "Check4";
    case CheckBox::Check5: return "Check5";
  }
  return "";
}

Form1::Form1(const Platform& platform)
    : window_(platform.window),
      settings_(platform.settings),
      files_(platform.files),
      registry_(platform.registry),
      shell_(platform.shell),
      services_(platform.services),
      skin_(platform.skin),
      clock_(platform.clock),
      tasks_(platform.tasks) {}

void Form1::GetRegistryItems() { vq::GetRegistryItems(ToList()); }
void Form1::GetStartup() { vq::GetStartup(ToList()); }
void Form1::GetSysFile() { vq::GetSysFile(ToList()); }
void Form1::GetServices() { vq::GetServices(ToList()); }
void Form1::GetTasks() { vq::GetTasks(ToList()); }

void Form1::Form_Load() {
  ErrorTrap trap(reportBox_, LocationText("Form1", "Form_Load"));
  trap.Run(100, [&] { ApplySkin(); });

  std::string cursorPath;
  trap.If(
      104,
      [&] {
        cursorPath = files_.ProgramFolder() + kCursorFile;
        return FileExists(files_, cursorPath);
      },
      [&] { trap.Run(106, [&] { window_.LoadCustomPointerImage(cursorPath); }); });

  trap.Run(126, [&] { window_.SetCaption(kProductName); });
  trap.Run(126, [&] { window_.SetProgramIcon(); });
  trap.Run(126, [&] { SetAppTitle(window_, kProductName); });

  int statement = 128;
  for (const ColumnDesign& column : kColumns) {
    trap.Run(statement, [&] { window_.AddColumn(column.header); });
    statement += 2;
  }
  for (int column = 1; column <= 4; ++column) {
    trap.Run(statement, [&] { window_.SetColumnWidth(column, kColumns[column - 1].widthTwips); });
    statement += 2;
  }

  trap.Run(144, [&] { RestoreCheckBox(CheckBox::Check1, "1"); });
  trap.Run(146, [&] { RestoreCheckBox(CheckBox::Check2, "1"); });
  trap.Run(148, [&] { RestoreCheckBox(CheckBox::Check3, "1"); });
  trap.Run(150, [&] { RestoreCheckBox(CheckBox::Check4, "0"); });
  // The Tasks box came after the numbers the start-up has always had.
  trap.Run(154, [&] { RestoreCheckBox(CheckBox::Check5, "1"); });

  trap.Run(152, [&] { LoadItems(); });
}

// A restored value that differs from the box's unticked design state counts
// as a click, so it is written back to the store.
void Form1::RestoreCheckBox(CheckBox box, const char* defaultText) {
  const int value =
      TextToInteger16(GetSetting(settings_, kSettingsApplication, kSettingsSection, CheckBoxKey(box), defaultText));
  if (value < 0 || value > 2) throw InvalidPropertyValue();
  if (value == window_.CheckValue(box)) return;
  window_.SetCheckValue(box, value);
  Check_Click(box);
}

void Form1::LoadItems() {
  BusyScope busy(*this);
  ErrorTrap trap(reportBox_, LocationText("Form1", "LoadItems"));
  trap.Run(100, [&] { window_.SetPointer(MousePointer::Hourglass); });
  ListRedrawPause pause(window_);
  // Rows that could not be cleared keep their items.
  trap.Run(102, [&] {
    window_.ClearRows();
    items_.Clear();
  });

  trap.If(104, [&] { return window_.CheckValue(CheckBox::Check1) == 1; }, [&] { GetRegistryItems(); });
  trap.If(106, [&] { return window_.CheckValue(CheckBox::Check3) == 1; }, [&] { GetStartup(); });
  trap.If(108, [&] { return window_.CheckValue(CheckBox::Check2) == 1; }, [&] { GetSysFile(); });
  trap.If(110, [&] { return window_.CheckValue(CheckBox::Check4) == 1; }, [&] { GetServices(); });
  // The scheduled tasks came after the numbers LoadItems has always had.
  trap.If(114, [&] { return window_.CheckValue(CheckBox::Check5) == 1; }, [&] { GetTasks(); });
  pause.Resume();

  trap.Run(112, [&] { window_.SetPointer(MousePointer::Default); });
}

void Form1::PushButton1_Click() {
  if (Busy()) return;
  ErrorTrap trap(reportBox_, LocationText("Form1", "PushButton1_Click"));
  trap.Run(100, [&] { LoadItems(); });
}

void Form1::CheckBox_UserClick(CheckBox box) {
  // A greyed box, like an unticked one, becomes ticked.
  window_.SetCheckValue(box, window_.CheckValue(box) == 1 ? 0 : 1);
  Check_Click(box);
}

void Form1::Check_Click(CheckBox box) {
  SaveSetting(settings_, kSettingsApplication, kSettingsSection, CheckBoxKey(box),
              std::to_string(window_.CheckValue(box)));
}

void Form1::MouseMove(PointerArea area) {
  if (window_.Pointer() == MousePointer::Hourglass) return;
  window_.SetPointer(area == PointerArea::Button ? MousePointer::Custom : MousePointer::Default);
}

// A window closed while the delete walk is under way ends the program once
// the walk has stopped at its next row and finished its backup: a backup left
// unfinished would name values as removed that are still there.
void Form1::Form_Unload() {
  if (walking_) {
    endAfterWalk_ = true;
    return;
  }
  window_.EndProgram();
}

}  // namespace vq
