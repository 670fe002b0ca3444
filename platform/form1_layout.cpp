#include "platform/form1_layout.h"

#include <stdexcept>

namespace vq {

namespace {
constexpr ControlLayout kLayout[] = {
    {Control::ListView1, ControlKind::ListView, "", {120, 120, 7800, 6375}, false},
    {Control::PushButton1, ControlKind::PushButton, "Refresh List", {120, 6585, 3840, 405}, false},
    {Control::PushButton4, ControlKind::PushButton, "Delete Items With Checkmark", {4080, 6585, 3840, 405}, false},
    {Control::Frame2, ControlKind::Frame, "Type", {120, 7050, 7800, 735}, false},
    {Control::Check1, ControlKind::CheckBox, "Registry", {240, 300, 1335, 255}, true},
    {Control::Check3, ControlKind::CheckBox, "Startup", {1800, 300, 1335, 255}, true},
    {Control::Check2, ControlKind::CheckBox, "System", {3360, 300, 1335, 255}, true},
    {Control::Check4, ControlKind::CheckBox, "Services", {4920, 300, 1335, 255}, true},
    {Control::Check5, ControlKind::CheckBox, "Tasks", {6480, 300, 1200, 255}, true},
    {Control::ProgressBar1, ControlKind::ProgressBar, "", {120, 7920, 7800, 405}, false},
};

// Rounds to the nearest pixel, halves away from zero.
int ScaleRounded(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}
}  // namespace

std::span<const ControlLayout> Form1Layout() { return kLayout; }

const ControlLayout& LayoutOf(Control control) {
  for (const ControlLayout& layout : kLayout) {
    if (layout.control == control) return layout;
  }
  throw std::logic_error("control missing from the layout");
}

int TwipsToPixels(int twips, int dpi) { return ScaleRounded(twips, dpi, 1440); }

PixelRect ControlPixels(const ControlLayout& layout, int dpi) {
  TwipRect rect = layout.rect;
  if (layout.insideFrame) {
    const TwipRect frame = LayoutOf(Control::Frame2).rect;
    rect.left += frame.left;
    rect.top += frame.top;
  }
  return {TwipsToPixels(rect.left, dpi), TwipsToPixels(rect.top, dpi), TwipsToPixels(rect.width, dpi),
          TwipsToPixels(rect.height, dpi)};
}

int FontPixelHeight(int centipoints, int dpi) { return ScaleRounded(centipoints, dpi, 7200); }

}  // namespace vq
