#include "app/error_trap.h"
#include "app/form1.h"
#include "app/text.h"
#include "removal/file_removal.h"
#include "removal/registry_removal.h"
#include "removal/service_stop.h"

namespace vq {

void Form1::PushButton4_Click() {
  if (Busy()) return;
  ErrorTrap trap(window_, LocationText("Form1", "PushButton4_Click"));
  // A box that failed answered nothing: nothing is deleted without a Yes.
  int answer = 0;
  trap.Run(100, [&] {
    answer = window_.ShowMessage("Are you sure you want to delete/stop the checked item(s)?", msgbox::kYesNo,
                                 "Delete/Stop Selected Items");
  });
  if (answer == msgbox::kYes) trap.Run(102, [&] { DeleteItem(); });
}

// Walks the list top to bottom and removes or stops what each ticked row
// stands for, then gathers the list anew. The list is not touched during the
// walk, and no refresh or second walk can start inside it.
void Form1::DeleteItem() {
  BusyScope busy(*this);
  ErrorTrap trap(window_, LocationText("Form1", "DeleteItem"));
  bool tickedAny = false;
  int rows = 0;
  trap.Run(100, [&] { window_.SetPointer(MousePointer::Hourglass); });
  trap.Run(102, [&] { tickedAny = false; });
  trap.Run(104, [&] { rows = window_.RowCount(); });
  for (int row = 1; row <= rows; ++row) {
    // A tick that cannot be read is reported, and that row is left alone.
    bool ticked = false;
    if (!trap.Run(106, [&] { ticked = window_.RowChecked(row); }) || !ticked) continue;
    trap.Run(110, [&] { tickedAny = true; });
    RemoveRow(trap, row);
  }
  trap.Run(148, [&] { window_.SetPointer(MousePointer::Default); });
  // Statement 150 tests whether any row was ticked.
  if (!tickedAny) {
    trap.Run(152, [&] { window_.ShowMessage("You forgot to check item(s).", msgbox::kOkOnly, ""); });
  } else {
    trap.Run(154, [&] { LoadItems(); });
  }
}

// Hands one ticked row to the removal its type tag calls for. A row whose
// texts cannot be read is reported and left alone; a type nothing handles
// does nothing.
void Form1::RemoveRow(ErrorTrap& trap, int row) {
  std::string type;
  if (!trap.Run(112, [&] { type = window_.RowText(row, 0); })) return;
  if (type == "REGISTRY") {
    std::string location;
    if (!trap.Run(114, [&] { location = window_.RowText(row, 1); })) return;
    const HivePrefixRule* rule = MatchHivePrefix(location);
    if (!rule) return;  // no hive it knows: nothing is done and nothing said
    trap.Run(rule->deleteStatement, [&] {
      DeleteRegistryValue(registry_, rule->hive, ReplaceAll(location, rule->prefix, ""), window_.RowText(row, 2));
    });
  } else if (type == "STARTUP") {
    trap.Run(136, [&] { RemoveFile(window_, files_, window_.RowText(row, 1) + "\\" + window_.RowText(row, 2)); });
  } else if (type == "SYSFILE") {
    trap.Run(140, [&] { window_.ShowMessage("Could not delete system file.", msgbox::kOkOnly, ""); });
  } else if (type == "SERVICES") {
    trap.Run(144, [&] { StopService(services_, window_.RowText(row, 1)); });
  }
}

}  // namespace vq
