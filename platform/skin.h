#pragma once

#include <cstdint>
#include <string>

namespace vq {

// The skin component on the main window (SkinFramework1), by the members the
// program uses; the dispatch ids are those the component has always had.
// Failures throw Failure.
class SkinFramework {
 public:
  virtual ~SkinFramework() = default;
  // Dispatch id 2: loads the skin from its file; the second text names a
  // section of the file to use, empty for the whole file.
  virtual void LoadSkin(const std::string& path, const std::string& section) = 0;
  // Dispatch id 1: the option flags. Bit 0: the skin paints the window's
  // frames, check boxes and labels as well as the window itself.
  virtual std::int32_t ApplyOptions() = 0;
  virtual void SetApplyOptions(std::int32_t options) = 0;
  // Dispatch id 5: the item list takes the skin's list colours.
  virtual void SetSkinLists(bool on) = 0;
  // Dispatch id 10: push buttons are drawn in the skin's button colours.
  virtual void SetSkinButtons(bool on) = 0;
  // Dispatch id 3: applies the loaded skin to the window with this handle and repaints it.
  virtual void ApplyWindow(std::int32_t windowHandle) = 0;
};

}  // namespace vq
