#include "platform/win32/win32_skin.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>

#include "platform/failure.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_failure.h"
#include "platform/win32/win32_file_system.h"

namespace vq::win32 {

namespace {

constexpr UINT_PTR kSubclassId = 0x5143;  // one skin a window

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

}  // namespace

Win32Skin::~Win32Skin() {
  if (window_) ::RemoveWindowSubclass(window_, &Win32Skin::SubclassProc, kSubclassId);
}

void Win32Skin::LoadSkin(const std::string& path, const std::string& section) {
  // A skin file of this kind has no sections: the whole file is the skin.
  if (!section.empty()) throw Failure("Invalid skin file, it has no section \"" + section + "\"");
  Win32FileSystem files;
  if (files.FileLength(path) > static_cast<std::int64_t>(kLargestSkinFile)) {
    throw Failure("Invalid skin file, it is larger than 64 KB");
  }
  colours_ = ParseSkinFile(files.ReadBytes(path));
}

void Win32Skin::ApplyWindow(std::int32_t windowHandle) {
  const auto window = reinterpret_cast<HWND>(static_cast<std::intptr_t>(windowHandle));
  if (!colours_) throw Failure("No skin has been loaded");
  if (!::IsWindow(window)) throw Failure("Invalid window handle");
  if (window_) ::RemoveWindowSubclass(window_, &Win32Skin::SubclassProc, kSubclassId);
  window_ = nullptr;

  windowBrush_.reset(::CreateSolidBrush(colours_->window));
  buttonBrush_.reset(colours_->button ? ::CreateSolidBrush(*colours_->button) : nullptr);
  painted_.clear();
  buttons_.clear();
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const std::wstring kind = ClassName(child);
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(child, GWL_STYLE));
    if (kind == L"Static") {
      painted_.push_back(child);
    } else if (kind == WC_BUTTONW) {
      const DWORD type = style & BS_TYPEMASK;
      if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
        if (skinButtons_ && colours_->button) {
          buttons_.push_back(child);
          ::SendMessageW(child, BM_SETSTYLE, (style & ~BS_TYPEMASK) | BS_OWNERDRAW, FALSE);
        }
      } else {
        painted_.push_back(child);  // frames, check boxes, option buttons
        // A themed frame draws its caption in the theme's colour, whatever the parent says.
        if (options_ & 1) ::SetWindowTheme(child, L"", L"");
      }
    } else if (kind == WC_LISTVIEWW && skinLists_) {
      if (colours_->list) {
        ::SendMessageW(child, LVM_SETBKCOLOR, 0, *colours_->list);
        ::SendMessageW(child, LVM_SETTEXTBKCOLOR, 0, *colours_->list);
      }
      if (colours_->listText) ::SendMessageW(child, LVM_SETTEXTCOLOR, 0, *colours_->listText);
    }
  }
  if (!::SetWindowSubclass(window, &Win32Skin::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    throw Failure("The skin could not be applied to the window");
  }
  window_ = window;
  ::RedrawWindow(window, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

bool Win32Skin::Paints(HWND control) const {
  return (options_ & 1) && std::find(painted_.begin(), painted_.end(), control) != painted_.end();
}

void Win32Skin::DrawButton(const DRAWITEMSTRUCT& item) const {
  RECT rect = item.rcItem;
  ::FillRect(item.hDC, &rect, buttonBrush_.get());
  ::DrawEdge(item.hDC, &rect, item.itemState & ODS_SELECTED ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
  wchar_t caption[256] = {};
  ::GetWindowTextW(item.hwndItem, caption, 256);
  const auto font = reinterpret_cast<HFONT>(::SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
  const HGDIOBJ oldFont = ::SelectObject(item.hDC, font);
  ::SetBkMode(item.hDC, TRANSPARENT);
  ::SetTextColor(item.hDC, item.itemState & ODS_DISABLED ? ::GetSysColor(COLOR_GRAYTEXT)
                                                         : colours_->buttonText.value_or(::GetSysColor(COLOR_BTNTEXT)));
  ::DrawTextW(item.hDC, caption, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  ::SelectObject(item.hDC, oldFont);
  if (item.itemState & ODS_FOCUS) {
    ::InflateRect(&rect, -2, -2);
    ::DrawFocusRect(item.hDC, &rect);
  }
}

LRESULT CALLBACK Win32Skin::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self) noexcept {
  auto& skin = *reinterpret_cast<Win32Skin*>(self);
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client{};
      ::GetClientRect(window, &client);
      ::FillRect(reinterpret_cast<HDC>(wParam), &client, skin.windowBrush_.get());
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (skin.Paints(reinterpret_cast<HWND>(lParam))) {
        const auto dc = reinterpret_cast<HDC>(wParam);
        ::SetBkColor(dc, skin.colours_->window);
        if (skin.colours_->text) ::SetTextColor(dc, *skin.colours_->text);
        return reinterpret_cast<LRESULT>(skin.windowBrush_.get());
      }
      break;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (std::find(skin.buttons_.begin(), skin.buttons_.end(), item.hwndItem) != skin.buttons_.end()) {
        skin.DrawButton(item);
        return TRUE;
      }
      break;
    }
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(window, &Win32Skin::SubclassProc, kSubclassId);
      skin.window_ = nullptr;
      break;
    default:
      break;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace vq::win32
