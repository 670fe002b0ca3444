#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "platform/skin.h"
#include "platform/skin_file.h"
#include "platform/win32/unique_handle.h"

namespace vq::win32 {

// The program's own skin component: reads a skin file (the format is in
// platform/skin_file.h) and paints a window and its controls in its colours,
// by subclassing the window it is applied to.
class Win32Skin final : public SkinFramework {
 public:
  Win32Skin() = default;
  ~Win32Skin() override;  // takes the skin off the window still wearing it
  Win32Skin(const Win32Skin&) = delete;
  Win32Skin& operator=(const Win32Skin&) = delete;

  void LoadSkin(const std::string& path, const std::string& section) override;
  std::int32_t ApplyOptions() override { return options_; }
  void SetApplyOptions(std::int32_t options) override { options_ = options; }
  void SetSkinLists(bool on) override { skinLists_ = on; }
  void SetSkinButtons(bool on) override { skinButtons_ = on; }
  void ApplyWindow(std::int32_t windowHandle) override;

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR self) noexcept;
  void DrawButton(const DRAWITEMSTRUCT& item) const;
  bool Paints(HWND control) const;

  std::optional<SkinColours> colours_;
  std::int32_t options_ = 0;
  bool skinLists_ = false;
  bool skinButtons_ = false;
  HWND window_ = nullptr;
  UniqueBrush windowBrush_;
  UniqueBrush buttonBrush_;
  std::vector<HWND> painted_;  // frames, check boxes, option buttons and labels
  std::vector<HWND> buttons_;  // push buttons drawn by the skin
};

}  // namespace vq::win32
