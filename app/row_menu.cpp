#include "app/form1.h"
#include "entries/startup_approved.h"
#include "platform/failure.h"
#include "removal/startup_switch.h"

namespace vq {

// Offers the switch Windows keeps for the row's entry: "&Disable" where it is
// on, "&Enable" where it is off, neither where Windows has none. The choice
// is written at once and the row drawn to match; nothing is gathered again,
// and the entry (the value, the file) is never touched. A switch that cannot
// be read or written is said so, naming the entry, and the row stays as it was.
void Form1::ListView1_RowMenu(int row) {
  if (Busy()) return;  // a refresh or a walk runs: no menu
  try {
    std::optional<StartupSwitch> at;
    const std::uint32_t number = window_.RowItem(row);
    if (number != 0) {
      if (const StartupItem* item = items_.Find(number)) at = SwitchOf(*item);
    }
    bool off = false;
    try {
      if (at) off = IsSwitchedOff(ReadStartupSwitch(registry_, *at));
    } catch (const Failure&) {
      at.reset();  // a switch that cannot be read is not offered
    }
    const RowMenuChoice choice = window_.ShowRowMenu(row, at && !off, at && off);
    if (choice == RowMenuChoice::None || !at) return;
    // The menu's own loop still hands the window what was posted to it: a
    // refresh or a walk that ran meanwhile leaves the row standing for another item.
    if (Busy() || window_.RowItem(row) != number) return;
    const bool switchOff = choice == RowMenuChoice::Disable;
    try {
      SetStartupSwitch(registry_, *at, switchOff, clock_.SystemFileTime());
    } catch (const Failure& failure) {
      // The entry by the name its row shows.
      window_.ShowMessage(std::string("Could not ") + (switchOff ? "disable" : "enable") + " \"" +
                              window_.RowText(row, 2) + "\":\r\n" + failure.what(),
                          msgbox::kOkOnly | msgbox::kExclamation, "");
      return;
    }
    window_.SetRowGreyed(row, switchOff);
  } catch (const std::exception&) {
    // The row went with a refresh, or the menu could not be shown: nothing was written.
  }
}

}  // namespace vq
