#include "platform/win32/win32_main_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include "platform/failure.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_failure.h"
#include "platform/win32/win32_file_system.h"

namespace vq::win32 {

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
constexpr int kProgramIconId = 1;
// The high bit of a colour marks a reference to a system colour.
constexpr std::uint32_t kSystemColourBit = 0x80000000u;
// Columns start at the common default width until the program sets theirs.
constexpr int kDefaultColumnTwips = 1440;
// The commands of a row's shortcut menu; 0 is no choice.
constexpr UINT kDisableCommand = 1;
constexpr UINT kEnableCommand = 2;

// The control of each filter box, in the order of CheckBox.
constexpr Control kControlOfBox[] = {Control::Check1, Control::Check2, Control::Check3, Control::Check4,
                                     Control::Check5};

Failure IndexOutOfBounds() { return Failure("Index out of bounds"); }

// Message boxes show the program file's name until the program sets a title.
std::wstring ProgramFileTitle() {
  std::wstring title = ProgramFilePath();
  title = title.substr(title.find_last_of(L"\\/") + 1);
  return title.substr(0, title.rfind(L'.'));
}

}  // namespace

Win32MainWindow::Win32MainWindow(HINSTANCE instance)
    : instance_(instance), applicationTitle_(ProgramFileTitle()) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &Win32MainWindow::WindowProc;
  windowClass.hInstance = instance_;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kForm1ClassName;
  if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    ThrowLastError("RegisterClassExW");
  }
  // Created hidden: it shows once the start-up sequence has filled it.
  if (!::CreateWindowExW(kWindowExStyle, kForm1ClassName, L"", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0,
                         nullptr, nullptr, instance_, this)) {
    ThrowLastError("CreateWindowExW");
  }
  dpi_ = ::GetDpiForWindow(hwnd_);
  try {
    CreateControls();
    ApplyLayout();
  } catch (...) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);  // no destructor runs for a constructor that throws
    throw;
  }
}

Win32MainWindow::~Win32MainWindow() {
  if (hwnd_) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
}

void Win32MainWindow::CreateControls() {
  for (const ControlLayout& layout : Form1Layout()) {
    const wchar_t* windowClass = WC_BUTTONW;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    switch (layout.kind) {
      case ControlKind::ListView:
        windowClass = WC_LISTVIEWW;
        style |= WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::PushButton: style |= WS_TABSTOP | BS_PUSHBUTTON; break;
      case ControlKind::Frame: style |= BS_GROUPBOX; break;
      // Three states, the third (greyed) only from a stored value; the program does the toggling.
      case ControlKind::CheckBox: style |= WS_TABSTOP | BS_3STATE; break;
      case ControlKind::ProgressBar: windowClass = PROGRESS_CLASSW; break;
    }
    HWND control = ::CreateWindowExW(exStyle, windowClass, Widen(layout.caption).c_str(), style, 0, 0, 0, 0, hwnd_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(layout.control))),
                                     instance_, nullptr);
    if (!control) ThrowLastError("CreateWindowExW");
    controls_[static_cast<std::size_t>(layout.control)] = control;
  }
  // The frame lies beneath the check boxes it holds.
  ::SetWindowPos(ControlWindow(Control::Frame2), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::SendMessageW(ControlWindow(Control::ListView1), LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
}

void Win32MainWindow::ApplyLayout() {
  const int dpi = static_cast<int>(dpi_);
  auto makeFont = [dpi](int centipoints) {
    UniqueFont font(::CreateFontW(-FontPixelHeight(centipoints, dpi), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                  DEFAULT_PITCH | FF_SWISS, Widen(kFontFace).c_str()));
    if (!font) throw Failure("The font " + std::string(kFontFace) + " could not be made");
    return font;
  };
  UniqueFont windowFont = makeFont(kWindowFontCentipoints);
  UniqueFont buttonFont = makeFont(kButtonFontCentipoints);

  for (const ControlLayout& layout : Form1Layout()) {
    const PixelRect rect = ControlPixels(layout, dpi);
    HWND control = ControlWindow(layout.control);
    ::SetWindowPos(control, nullptr, rect.left, rect.top, rect.width, rect.height, SWP_NOZORDER | SWP_NOACTIVATE);
    HFONT font = layout.kind == ControlKind::PushButton ? buttonFont.get() : windowFont.get();
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  // The controls now use the new fonts; the old ones can go.
  windowFont_ = std::move(windowFont);
  buttonFont_ = std::move(buttonFont);

  for (std::size_t column = 0; column < columnTwips_.size(); ++column) {
    ::SendMessageW(ControlWindow(Control::ListView1), LVM_SETCOLUMNWIDTH, column,
                   MAKELPARAM(TwipsToPixels(columnTwips_[column], dpi), 0));
  }

  RECT frame{0, 0, TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi)};
  ::AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi_);
  ::SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::Show() {
  RECT window{};
  ::GetWindowRect(hwnd_, &window);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& screen = monitor.rcMonitor;
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  ::SetWindowPos(hwnd_, nullptr, screen.left + (screen.right - screen.left - width) / 2,
                 screen.top + (screen.bottom - screen.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
}

int Win32MainWindow::MessageLoop() {
  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!::IsDialogMessageW(hwnd_, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}

void Win32MainWindow::DoEvents() {
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    // The window was closed while the program worked: the program ends at once.
    if (message.message == WM_QUIT) ::ExitProcess(static_cast<UINT>(message.wParam));
    if (!::IsDialogMessageW(hwnd_, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  eventsHandled_ = std::chrono::steady_clock::now();
}

// A person notices a window that takes 100 ms to answer; one that handles its
// events every 25 ms of work answers well within that, and the reading of the
// clock (the performance counter) costs next to nothing beside the work.
bool Win32MainWindow::EventsDue() {
  constexpr std::chrono::milliseconds kPatience{25};
  return std::chrono::steady_clock::now() - eventsHandled_ >= kPatience;
}

// Destroying the window posts the quit message that ends the message loop, or
// ends the process at once when it arrives inside DoEvents.
void Win32MainWindow::EndProgram() { ::DestroyWindow(hwnd_); }

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
  try {
    if (auto handled = self->OnMessage(message, wParam, lParam)) return *handled;
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  } catch (...) {
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

template <class Handler>
void Win32MainWindow::Deliver(Handler&& handler) {
  if (!events_) return;
  try {
    handler(*events_);
  } catch (const std::exception&) {
    // Handlers that report their own failures never get here; what does come
    // from an untrapped one (a filter value that could not be stored) is dropped.
  }
}

std::optional<LRESULT> Win32MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->hwndFrom == ControlWindow(Control::ListView1)) return OnListNotify(*header);
      break;
    }
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) == ControlWindow(Control::ListView1)) {
        OnContextMenu(reinterpret_cast<HWND>(wParam), lParam);
        return 0;
      }
      break;
    case WM_SETCURSOR:
      if (OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam))) return TRUE;
      break;
    case WM_ERASEBKGND: {
      RECT client{};
      ::GetClientRect(hwnd_, &client);
      ::FillRect(reinterpret_cast<HDC>(wParam), &client, formColour_.Brush());
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (id == ControlId(Control::Frame2) || (id >= ControlId(Control::Check1) && id <= ControlId(Control::Check4)) ||
          id == ControlId(Control::Check5)) {
        const BackColour& colour = controlColours_[static_cast<std::size_t>(id - ControlId(Control::ListView1))];
        ::SetBkColor(reinterpret_cast<HDC>(wParam), colour.Colour());
        return reinterpret_cast<LRESULT>(colour.Brush());
      }
      break;
    }
    case WM_DPICHANGED: {
      dpi_ = LOWORD(wParam);
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyLayout();
      return 0;
    }
    case WM_CLOSE:
      if (events_) {
        Deliver([](WindowEvents& events) { events.Form_Unload(); });
      } else {
        EndProgram();
      }
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return std::nullopt;
}

void Win32MainWindow::OnCommand(int id, int notification) {
  if (notification != BN_CLICKED) return;
  if (id == ControlId(Control::PushButton1)) {
    Deliver([](WindowEvents& events) { events.PushButton1_Click(); });
  } else if (id == ControlId(Control::PushButton4)) {
    Deliver([](WindowEvents& events) { events.PushButton4_Click(); });
  } else {
    for (CheckBox box : kAllCheckBoxes) {
      if (id == ControlId(kControlOfBox[static_cast<std::size_t>(box)])) {
        Deliver([box](WindowEvents& events) { events.CheckBox_UserClick(box); });
      }
    }
  }
}

// Greyed rows are drawn in the grey-text colour; every other row as the list draws it.
std::optional<LRESULT> Win32MainWindow::OnListNotify(const NMHDR& header) {
  // Emptying the list needs no word of each row it deletes.
  if (header.code == LVN_DELETEALLITEMS) return TRUE;
  if (header.code != NM_CUSTOMDRAW) return std::nullopt;
  auto& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header));
  // Rows are drawn one by one only while some are greyed.
  if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return greyedItems_.empty() ? CDRF_DODEFAULT : CDRF_NOTIFYITEMDRAW;
  if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
    if (greyedItems_.count(static_cast<std::uint32_t>(draw.nmcd.lItemlParam))) {
      draw.clrText = ::GetSysColor(COLOR_GRAYTEXT);
      return CDRF_NEWFONT;
    }
  }
  return CDRF_DODEFAULT;
}

// A right click on a row, or the menu key or Shift+F10 on the focused row
// (no point given): the row is selected and its menu asked for. Nowhere near a row: nothing.
void Win32MainWindow::OnContextMenu(HWND list, LPARAM at) {
  int index = -1;
  menuRow_ = 0;
  if (GET_X_LPARAM(at) == -1 && GET_Y_LPARAM(at) == -1) {
    index = static_cast<int>(::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
  } else {
    LVHITTESTINFO hit{};
    hit.pt = menuAt_ = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    ::ScreenToClient(list, &hit.pt);
    index = static_cast<int>(::SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (index >= 0) menuRow_ = index + 1;
  }
  if (index < 0) return;
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
  Deliver([index](WindowEvents& events) { events.ListView1_RowMenu(index + 1); });
}

// The window's pointer shows over the whole window, its controls included;
// the default pointer leaves each control its own (the list's column dividers).
bool Win32MainWindow::OnSetCursor(HWND under, UINT hitTest, UINT mouseMessage) {
  if (hitTest != HTCLIENT) return false;
  if (mouseMessage == WM_MOUSEMOVE) {
    const int id = ::GetDlgCtrlID(under);
    const HWND list = ControlWindow(Control::ListView1);
    if (under == hwnd_) {
      Deliver([](WindowEvents& events) { events.MouseMove(PointerArea::Background); });
    } else if (under == list || ::GetParent(under) == list) {
      Deliver([](WindowEvents& events) { events.MouseMove(PointerArea::List); });
    } else if (id == ControlId(Control::Frame2)) {
      Deliver([](WindowEvents& events) { events.MouseMove(PointerArea::Frame); });
    } else if (id == ControlId(Control::PushButton1) || id == ControlId(Control::PushButton4)) {
      Deliver([](WindowEvents& events) { events.MouseMove(PointerArea::Button); });
    }
  }
  if (pointer_ == MousePointer::Default) return false;
  ::SetCursor(CursorFor(pointer_));
  return true;
}

HCURSOR Win32MainWindow::CursorFor(MousePointer pointer) const {
  if (pointer == MousePointer::Hourglass) return ::LoadCursorW(nullptr, IDC_WAIT);
  if (pointer == MousePointer::Custom && customCursor_) return customCursor_.get();
  return ::LoadCursorW(nullptr, IDC_ARROW);
}

void Win32MainWindow::SetPointer(MousePointer pointer) {
  pointer_ = pointer;
  // Show it now when the mouse is over the window, without waiting for it to move.
  POINT cursor{};
  if (!hwnd_ || !::GetCursorPos(&cursor)) return;
  HWND under = ::WindowFromPoint(cursor);
  if (under == hwnd_ || ::IsChild(hwnd_, under)) ::SetCursor(CursorFor(pointer_));
}

void Win32MainWindow::SetCaption(const std::string& caption) {
  if (!::SetWindowTextW(hwnd_, Widen(caption).c_str())) ThrowLastError("SetWindowTextW");
}

void Win32MainWindow::SetProgramIcon() {
  auto load = [this](int metricX, int metricY) {
    HANDLE icon = ::LoadImageW(instance_, MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON,
                               ::GetSystemMetricsForDpi(metricX, dpi_), ::GetSystemMetricsForDpi(metricY, dpi_),
                               LR_SHARED);
    if (!icon) ThrowLastError("LoadImageW");
    return reinterpret_cast<LPARAM>(icon);
  };
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, load(SM_CXICON, SM_CYICON));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, load(SM_CXSMICON, SM_CYSMICON));
}

void Win32MainWindow::BackColour::Set(std::uint32_t colour) {
  colour_ = colour;
  brush_.reset(colour & kSystemColourBit ? nullptr : ::CreateSolidBrush(colour & 0xFFFFFF));
}

COLORREF Win32MainWindow::BackColour::Colour() const {
  return colour_ & kSystemColourBit ? ::GetSysColor(static_cast<int>(colour_ & 0xFF)) : colour_ & 0xFFFFFF;
}

HBRUSH Win32MainWindow::BackColour::Brush() const {
  return colour_ & kSystemColourBit ? ::GetSysColorBrush(static_cast<int>(colour_ & 0xFF)) : brush_.get();
}

std::int32_t Win32MainWindow::NativeHandle() {
  // Window handles are 32-bit values, shared with 32-bit programs.
  return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(hwnd_));
}

void Win32MainWindow::SetBackColour(std::uint32_t colour) {
  formColour_.Set(colour);
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void Win32MainWindow::SetControlBackColour(Control control, std::uint32_t colour) {
  const ControlKind kind = LayoutOf(control).kind;
  if (kind != ControlKind::Frame && kind != ControlKind::CheckBox) {
    throw Failure("Object doesn't support this property or method");
  }
  controlColours_[static_cast<std::size_t>(control)].Set(colour);
  ::InvalidateRect(ControlWindow(control), nullptr, TRUE);
}

void Win32MainWindow::SetApplicationTitle(const std::string& title) { applicationTitle_ = Widen(title); }

void Win32MainWindow::LoadCustomPointerImage(const std::string& path) {
  ::SetLastError(ERROR_SUCCESS);
  HANDLE cursor = ::LoadImageW(nullptr, Widen(path).c_str(), IMAGE_CURSOR, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE);
  if (!cursor) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_SUCCESS) throw Failure("Invalid picture");
    throw Win32Failure("LoadImageW", error);
  }
  customCursor_.reset(static_cast<HCURSOR>(cursor));
}

void Win32MainWindow::AddColumn(const std::string& header) {
  HWND list = ControlWindow(Control::ListView1);
  std::wstring text = Widen(header);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.pszText = text.data();
  column.cx = TwipsToPixels(kDefaultColumnTwips, static_cast<int>(dpi_));
  column.iSubItem = static_cast<int>(columnTwips_.size());
  const LRESULT index =
      ::SendMessageW(list, LVM_INSERTCOLUMNW, columnTwips_.size(), reinterpret_cast<LPARAM>(&column));
  if (index < 0) throw Failure("The list refused the column \"" + header + "\"");
  columnTwips_.push_back(kDefaultColumnTwips);
}

void Win32MainWindow::SetColumnWidth(int column, int twips) {
  if (column < 1 || column > static_cast<int>(columnTwips_.size())) throw IndexOutOfBounds();
  columnTwips_[static_cast<std::size_t>(column - 1)] = twips;
  ::SendMessageW(ControlWindow(Control::ListView1), LVM_SETCOLUMNWIDTH, column - 1,
                 MAKELPARAM(TwipsToPixels(twips, static_cast<int>(dpi_)), 0));
}

// Emptying a list of many thousand rows at once takes longer than a person
// waits for the window (some 65 ms for 14,500 rows under Wine): the rows go
// from the last, the events handled whenever they are due, until so few are
// left that the list empties in one go.
void Win32MainWindow::ClearRows() {
  constexpr LRESULT kAtOnce = 2000;
  HWND list = ControlWindow(Control::ListView1);
  for (LRESULT last = ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) - 1; last >= kAtOnce; --last) {
    ::SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(last), 0);
    KeepAnswering();
  }
  ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  greyedItems_.clear();
}

int Win32MainWindow::AddRow(const std::string& text, std::uint32_t itemNumber) {
  std::wstring wide = Widen(text);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = RowCount();
  item.pszText = wide.data();
  item.lParam = static_cast<LPARAM>(itemNumber);
  const LRESULT index =
      ::SendMessageW(ControlWindow(Control::ListView1), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  if (index < 0) throw Failure("The list refused the row \"" + text + "\"");
  return static_cast<int>(index) + 1;
}

void Win32MainWindow::CheckRow(int row) const {
  const auto count = ::SendMessageW(ControlWindow(Control::ListView1), LVM_GETITEMCOUNT, 0, 0);
  if (row < 1 || row > count) throw IndexOutOfBounds();
}

void Win32MainWindow::SetSubItem(int row, int subItem, const std::string& text) {
  CheckRow(row);
  if (subItem < 0 || subItem >= static_cast<int>(columnTwips_.size())) throw IndexOutOfBounds();
  std::wstring wide = Widen(text);
  LVITEMW item{};
  item.iSubItem = subItem;
  item.pszText = wide.data();
  if (!::SendMessageW(ControlWindow(Control::ListView1), LVM_SETITEMTEXTW, row - 1, reinterpret_cast<LPARAM>(&item))) {
    throw Failure("The list refused the text \"" + text + "\"");
  }
}

int Win32MainWindow::RowCount() {
  return static_cast<int>(::SendMessageW(ControlWindow(Control::ListView1), LVM_GETITEMCOUNT, 0, 0));
}

bool Win32MainWindow::RowChecked(int row) {
  CheckRow(row);
  const auto state =
      ::SendMessageW(ControlWindow(Control::ListView1), LVM_GETITEMSTATE, row - 1, LVIS_STATEIMAGEMASK);
  return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;  // state image 2 is the ticked box
}

std::string Win32MainWindow::RowText(int row, int subItem) {
  CheckRow(row);
  // The list copies at most the buffer's size; a full buffer may mean a longer text.
  for (std::size_t capacity = 256;; capacity *= 2) {
    std::wstring buffer(capacity, L'\0');
    LVITEMW item{};
    item.iSubItem = subItem;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(capacity);
    const auto length = static_cast<std::size_t>(::SendMessageW(
        ControlWindow(Control::ListView1), LVM_GETITEMTEXTW, row - 1, reinterpret_cast<LPARAM>(&item)));
    if (length + 1 < capacity) return Narrow(std::wstring_view(buffer.data(), length));
  }
}

std::uint32_t Win32MainWindow::RowItem(int row) {
  CheckRow(row);
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row - 1;
  if (!::SendMessageW(ControlWindow(Control::ListView1), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
    throw Failure("The list did not give the row's item");
  }
  return static_cast<std::uint32_t>(item.lParam);
}

void Win32MainWindow::SetRowGreyed(int row, bool greyed) {
  const std::uint32_t item = RowItem(row);
  if (item == 0) return;  // a row that stands for nothing is never switched off
  const bool changed = greyed ? greyedItems_.insert(item).second : greyedItems_.erase(item) > 0;
  if (changed) ::SendMessageW(ControlWindow(Control::ListView1), LVM_REDRAWITEMS, row - 1, row - 1);
}

RowMenuChoice Win32MainWindow::ShowRowMenu(int row, bool canDisable, bool canEnable) {
  CheckRow(row);
  const HWND list = ControlWindow(Control::ListView1);
  UniqueMenu menu{::CreatePopupMenu()};
  if (!menu) ThrowLastError("CreatePopupMenu");
  if (!::AppendMenuW(menu.get(), MF_STRING | (canDisable ? MF_ENABLED : MF_GRAYED), kDisableCommand, L"&Disable") ||
      !::AppendMenuW(menu.get(), MF_STRING | (canEnable ? MF_ENABLED : MF_GRAYED), kEnableCommand, L"&Enable")) {
    ThrowLastError("AppendMenuW");
  }
  // Where it was asked for: at the click, or (from the keyboard) below the row's first text.
  POINT at = menuAt_;
  if (menuRow_ != row) {
    RECT bounds{};
    bounds.left = LVIR_LABEL;
    ::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row - 1), reinterpret_cast<LPARAM>(&bounds));
    at = {bounds.left, bounds.bottom};
    ::ClientToScreen(list, &at);
  }
  menuRow_ = 0;
  const UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                         at.x, at.y, 0, hwnd_, nullptr));
  if (chosen == kDisableCommand) return RowMenuChoice::Disable;
  if (chosen == kEnableCommand) return RowMenuChoice::Enable;
  return RowMenuChoice::None;
}

void Win32MainWindow::SetListRedraw(bool on) {
  HWND list = ControlWindow(Control::ListView1);
  ::SendMessageW(list, WM_SETREDRAW, on, 0);
  if (on) ::RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

HWND Win32MainWindow::CheckBoxWindow(CheckBox box) const {
  return ControlWindow(kControlOfBox[static_cast<std::size_t>(box)]);
}

int Win32MainWindow::CheckValue(CheckBox box) {
  return static_cast<int>(::SendMessageW(CheckBoxWindow(box), BM_GETCHECK, 0, 0));
}

void Win32MainWindow::SetCheckValue(CheckBox box, int value) {
  if (value < BST_UNCHECKED || value > BST_INDETERMINATE) throw Failure("Invalid property value");
  ::SendMessageW(CheckBoxWindow(box), BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void Win32MainWindow::SetCommandsEnabled(bool enabled) {
  ::EnableWindow(ControlWindow(Control::PushButton1), enabled);
  ::EnableWindow(ControlWindow(Control::PushButton4), enabled);
  ::EnableWindow(ControlWindow(Control::ListView1), enabled);
}

int Win32MainWindow::ShowMessage(const std::string& text, int style, const std::string& title) {
  const std::wstring caption = title.empty() ? applicationTitle_ : Widen(title);
  const int answer = ::MessageBoxW(hwnd_, Widen(text).c_str(), caption.c_str(), static_cast<UINT>(style));
  if (answer == 0) ThrowLastError("MessageBoxW");
  return answer;
}

}  // namespace vq::win32
