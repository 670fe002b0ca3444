#pragma once

#include <windows.h>

#include <array>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/form1_layout.h"
#include "platform/main_window.h"
#include "platform/win32/unique_handle.h"

namespace vq::win32 {

inline constexpr wchar_t kForm1ClassName[] = L"VellorinQuade.Form1";

// Child window identifiers, one per control of the layout.
constexpr int ControlId(Control control) { return 1000 + static_cast<int>(control); }

// The main window and its controls, drawn from the twip layout at the
// window's DPI and laid out again when the DPI changes.
class Win32MainWindow : public MainWindow {
 public:
  explicit Win32MainWindow(HINSTANCE instance);
  ~Win32MainWindow() override;
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  void SetEvents(WindowEvents* events) { events_ = events; }
  // Shows the window centred on its screen.
  void Show();
  // Runs until the window is closed; returns the exit code.
  int MessageLoop();
  HWND hwnd() const { return hwnd_; }

  void SetCaption(const std::string& caption) override;
  void SetProgramIcon() override;
  std::int32_t NativeHandle() override;
  void SetBackColour(std::uint32_t colour) override;
  void SetControlBackColour(Control control, std::uint32_t colour) override;
  void SetApplicationTitle(const std::string& title) override;
  void LoadCustomPointerImage(const std::string& path) override;
  MousePointer Pointer() override { return pointer_; }
  void SetPointer(MousePointer pointer) override;
  void AddColumn(const std::string& header) override;
  void SetColumnWidth(int column, int twips) override;
  void ClearRows() override;
  int AddRow(const std::string& text, std::uint32_t item) override;
  void SetSubItem(int row, int subItem, const std::string& text) override;
  int RowCount() override;
  bool RowChecked(int row) override;
  std::string RowText(int row, int subItem) override;
  std::uint32_t RowItem(int row) override;
  void SetRowGreyed(int row, bool greyed) override;
  RowMenuChoice ShowRowMenu(int row, bool canDisable, bool canEnable) override;
  void SetListRedraw(bool on) override;
  int CheckValue(CheckBox box) override;
  void SetCheckValue(CheckBox box, int value) override;
  void SetCommandsEnabled(bool enabled) override;
  int ShowMessage(const std::string& text, int style, const std::string& title) override;
  void DoEvents() override;
  bool EventsDue() override;
  void EndProgram() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  // The message's result, or nullopt to leave it to the default handling.
  std::optional<LRESULT> OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool OnSetCursor(HWND under, UINT hitTest, UINT mouseMessage);
  void OnCommand(int id, int notification);
  std::optional<LRESULT> OnListNotify(const NMHDR& header);
  void OnContextMenu(HWND under, LPARAM at);
  void CreateControls();
  void ApplyLayout();
  HWND ControlWindow(Control control) const { return controls_[static_cast<std::size_t>(control)]; }
  HWND CheckBoxWindow(CheckBox box) const;
  HCURSOR CursorFor(MousePointer pointer) const;
  // Runs an event handler of the program; handlers without a trap of their
  // own may fail, and such a failure must not cross the window procedure.
  template <class Handler>
  void Deliver(Handler&& handler);
  void CheckRow(int row) const;

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  std::array<HWND, 10> controls_{};
  WindowEvents* events_ = nullptr;
  UINT dpi_ = 96;
  UniqueFont windowFont_;
  UniqueFont buttonFont_;
  UniqueCursor customCursor_;
  // A background colour as the program sets it: an RGB value, or a system
  // colour reference resolved when painting, so it follows the colour scheme.
  class BackColour {
   public:
    void Set(std::uint32_t colour);
    COLORREF Colour() const;
    HBRUSH Brush() const;

   private:
    std::uint32_t colour_ = 0xFFFFFF;  // the white design
    UniqueBrush brush_{::CreateSolidBrush(RGB(255, 255, 255))};
  };
  // The window's own, then those of Frame2 and the check boxes, by control.
  BackColour formColour_;
  std::array<BackColour, 10> controlColours_{};
  MousePointer pointer_ = MousePointer::Default;
  std::wstring applicationTitle_;
  std::vector<int> columnTwips_;
  // Where the mouse asked for the menu of this row (0: none; the keyboard asked).
  int menuRow_ = 0;
  POINT menuAt_{};
  std::set<std::uint32_t> greyedItems_;  // the item numbers of the greyed rows
  // When the waiting events were last handled.
  std::chrono::steady_clock::time_point eventsHandled_ = std::chrono::steady_clock::now();
};

}  // namespace vq::win32
