#include "app/form1.h"
#include "platform/form1_layout.h"

namespace vq {

namespace {
constexpr char kSkinFile[] = "\\x\\o.cjs";
}  // namespace

// Dresses the window in the skin file beside the program, when there is one:
// the window and its frame and check boxes turn from their white design to
// the button-face colour, then the skin component loads the file and is
// applied. A failure ends the step where it happened; what was done stays.
void Form1::ApplySkin() {
  const std::string path = files_.ProgramFolder() + kSkinFile;
  if (!files_.IsFile(path)) return;  // a folder of that name is no skin
  window_.SetBackColour(kButtonFaceColour);
  for (const ControlLayout& layout : Form1Layout()) {
    if (layout.kind == ControlKind::Frame || layout.kind == ControlKind::CheckBox) {
      window_.SetControlBackColour(layout.control, kButtonFaceColour);
    }
  }
  skin_.LoadSkin(path, "");
  skin_.SetApplyOptions(skin_.ApplyOptions() | 1);
  skin_.SetSkinLists(true);
  skin_.SetSkinButtons(true);
  skin_.ApplyWindow(window_.NativeHandle());
}

}  // namespace vq
