#pragma once

#include <cstdint>
#include <string>

#include "platform/event_pump.h"

namespace vq {

// The controls of the main window, by their names; the Tasks box, which came
// last, after the others, so that theirs keep their numbers.
enum class Control { ListView1, PushButton1, PushButton4, Frame2, Check1, Check3, Check2, Check4, ProgressBar1, Check5 };

// The window's mouse pointer, by the numbers the program has always used.
enum class MousePointer { Default = 0, Hourglass = 11, Custom = 99 };

// The filter check boxes, named as the settings keys name them.
enum class CheckBox { Check1, Check2, Check3, Check4, Check5 };
inline constexpr CheckBox kAllCheckBoxes[] = {CheckBox::Check1, CheckBox::Check2, CheckBox::Check3,
                                              CheckBox::Check4, CheckBox::Check5};

// Where the mouse is, for the pointer rule. The check boxes have no area of their own.
enum class PointerArea { Background, List, Frame, Button };

// Colours as the window's properties hold them: 0x00BBGGRR, or with the high
// bit set a reference to a system colour by its index, resolved when painting.
inline constexpr std::uint32_t kButtonFaceColour = 0x8000000Fu;

// Message box styles and answers, by their platform values.
namespace msgbox {
inline constexpr int kOkOnly = 0;
inline constexpr int kYesNo = 4;
inline constexpr int kExclamation = 48;
inline constexpr int kOk = 1;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace msgbox

// What the user chose on a row's shortcut menu.
enum class RowMenuChoice { None, Disable, Enable };

// What the user does on the main window, delivered by the window to the program.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void PushButton1_Click() = 0;
  virtual void PushButton4_Click() = 0;
  // The user clicked a filter box; the box has not changed yet.
  virtual void CheckBox_UserClick(CheckBox box) = 0;
  virtual void MouseMove(PointerArea area) = 0;
  // The user asked for the shortcut menu of a row (a right click, the menu
  // key or Shift+F10); the row is selected. Counted from 1.
  virtual void ListView1_RowMenu(int row) = 0;
  virtual void Form_Unload() = 0;
};

// The main window with its controls, as the program drives it. Failures throw Failure.
class MainWindow : public EventPump {
 public:
  virtual ~MainWindow() = default;

  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetProgramIcon() = 0;
  // The window's native handle, which fits 32 bits.
  virtual std::int32_t NativeHandle() = 0;
  // Background colours of the window and of a frame or check box on it.
  // Throws Failure for a control that has no such colour.
  virtual void SetBackColour(std::uint32_t colour) = 0;
  virtual void SetControlBackColour(Control control, std::uint32_t colour) = 0;
  // The title of message boxes that give none of their own.
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // Loads a cursor file as the image of the custom pointer.
  virtual void LoadCustomPointerImage(const std::string& path) = 0;
  virtual MousePointer Pointer() = 0;
  virtual void SetPointer(MousePointer pointer) = 0;

  // The item list: report view, a check box per row.
  virtual void AddColumn(const std::string& header) = 0;
  virtual void SetColumnWidth(int column, int twips) = 0;  // column counts from 1
  // Empties the list; a long one handles the waiting events when they are due while it empties.
  virtual void ClearRows() = 0;
  // Appends a row with the given text, carrying the number of the item it
  // stands for (0: none); returns its position, counted from 1. The list
  // shows a text up to its first U+0000, as list controls do.
  virtual int AddRow(const std::string& text, std::uint32_t item) = 0;
  virtual void SetSubItem(int row, int subItem, const std::string& text) = 0;
  virtual int RowCount() = 0;
  virtual bool RowChecked(int row) = 0;
  virtual std::string RowText(int row, int subItem) = 0;  // subItem 0 is the row's own text
  // The number of the item the row stands for, as AddRow gave it.
  virtual std::uint32_t RowItem(int row) = 0;
  // A greyed row is drawn in the system's grey-text colour; its texts and
  // tick stay. Only a row that carries an item can be greyed.
  virtual void SetRowGreyed(int row, bool greyed) = 0;
  // Shows the row's shortcut menu, "&Disable" and "&Enable", each greyed
  // where it does not apply, until the user chooses or dismisses it.
  virtual RowMenuChoice ShowRowMenu(int row, bool canDisable, bool canEnable) = 0;
  // While off, the list does not repaint; turning it on repaints it once.
  virtual void SetListRedraw(bool on) = 0;

  // Filter boxes: 0 unticked, 1 ticked, 2 greyed.
  virtual int CheckValue(CheckBox box) = 0;
  virtual void SetCheckValue(CheckBox box, int value) = 0;

  // Enables or disables both command buttons and the item list: while the
  // program works, no click starts another command and no tick changes.
  virtual void SetCommandsEnabled(bool enabled) = 0;

  // A modal message box; an empty title shows the application title. Returns the answer.
  virtual int ShowMessage(const std::string& text, int style, const std::string& title) = 0;
  // Ends the program at once, closing every window.
  virtual void EndProgram() = 0;
};

}  // namespace vq
