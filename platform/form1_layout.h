#pragma once

#include <span>

#include "platform/main_window.h"

namespace vq {

// The main window's design, in twips (1/1440 inch; 15 twips a pixel at 96 DPI).

enum class ControlKind { ListView, PushButton, Frame, CheckBox, ProgressBar };

struct TwipRect {
  int left, top, width, height;
};

struct PixelRect {
  int left, top, width, height;
  bool operator==(const PixelRect&) const = default;
};

struct ControlLayout {
  Control control;
  ControlKind kind;
  const char* caption;
  TwipRect rect;
  bool insideFrame;  // the rectangle is relative to Frame2
};

inline constexpr const char kProductName[] = "Vellorin Quade";
inline constexpr int kClientWidthTwips = 8040;
inline constexpr int kClientHeightTwips = 8445;
inline constexpr const char kFontFace[] = "Arial";
inline constexpr int kWindowFontCentipoints = 900;   // 9 pt, window and list
inline constexpr int kButtonFontCentipoints = 1125;  // 11.25 pt, the two buttons

// In creation order; left to right the boxes read Registry, Startup, System, Services, Tasks.
std::span<const ControlLayout> Form1Layout();
const ControlLayout& LayoutOf(Control control);

int TwipsToPixels(int twips, int dpi);
// The control's rectangle in the window's client area, in pixels at the given DPI.
PixelRect ControlPixels(const ControlLayout& layout, int dpi);
// Font height in pixels for a size in hundredths of a point.
int FontPixelHeight(int centipoints, int dpi);

}  // namespace vq
