#include "app/form1_layout.h"

#include <gtest/gtest.h>

namespace vq {
namespace {

TEST(Form1Layout, PixelRectanglesAt96Dpi) {
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 96), 536);
  EXPECT_EQ(TwipsToPixels(kClientHeightTwips, 96), 563);
  EXPECT_EQ(ControlPixels(LayoutOf(Control::ListView1), 96), (PixelRect{8, 8, 520, 425}));
  EXPECT_EQ(ControlPixels(LayoutOf(Control::PushButton4), 96), (PixelRect{272, 439, 256, 27}));
  EXPECT_EQ(ControlPixels(LayoutOf(Control::Frame2), 96), (PixelRect{8, 470, 520, 49}));
  // Check boxes are placed relative to the frame.
  EXPECT_EQ(ControlPixels(LayoutOf(Control::Check1), 96), (PixelRect{24, 490, 89, 17}));
  EXPECT_EQ(ControlPixels(LayoutOf(Control::Check4), 96), (PixelRect{336, 490, 89, 17}));
  EXPECT_EQ(ControlPixels(LayoutOf(Control::ProgressBar1), 96), (PixelRect{8, 528, 520, 27}));
  // Column widths that are not whole pixels round to the nearest.
  EXPECT_EQ(TwipsToPixels(2800, 96), 187);
  EXPECT_EQ(TwipsToPixels(1, 96), 0);
}

TEST(Form1Layout, ScalesWithDpi) {
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 144), 804);
  EXPECT_EQ(ControlPixels(LayoutOf(Control::Check3), 144), (PixelRect{192, 735, 134, 26}));
  EXPECT_EQ(ControlPixels(LayoutOf(Control::ListView1), 192), (PixelRect{16, 16, 1040, 850}));
  EXPECT_EQ(FontPixelHeight(kWindowFontCentipoints, 96), 12);
  EXPECT_EQ(FontPixelHeight(kButtonFontCentipoints, 96), 15);
  EXPECT_EQ(FontPixelHeight(kButtonFontCentipoints, 144), 23);
}

TEST(Form1Layout, BoxesReadRegistryStartupSystemServicesLeftToRight) {
  std::vector<std::string> captions;
  int lastLeft = -1;
  for (const ControlLayout& layout : Form1Layout()) {
    if (layout.kind != ControlKind::CheckBox) continue;
    EXPECT_GT(layout.rect.left, lastLeft);
    lastLeft = layout.rect.left;
    captions.push_back(layout.caption);
  }
  EXPECT_EQ(captions, (std::vector<std::string>{"Registry", "Startup", "System", "Services"}));
}

}  // namespace
}  // namespace vq
