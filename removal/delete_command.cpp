#include <set>

#include "app/error_trap.h"
#include "app/form1.h"
#include "removal/backup.h"
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

std::unique_ptr<RemovalBackup> Form1::StartBackup() {
  return std::make_unique<WalkBackup>(files_, shell_, clock_, registry_);
}

// The state of one delete walk: its backup, the registry rows whose values
// it tried to save, and those whose values are saved (and flushed) and so
// may be deleted.
struct Form1::Walk {
  std::unique_ptr<RemovalBackup> backup;
  int rows = 0;
  std::set<int> triedValues, savedValues;
};

// Walks the list top to bottom and removes or stops what each ticked row
// stands for, each saved first, then gathers the list anew. The list is not
// touched during the walk, and no refresh or second walk can start inside it.
void Form1::DeleteItem() {
  BusyScope busy(*this);
  ErrorTrap trap(window_, LocationText("Form1", "DeleteItem"));
  Walk walk;
  walk.backup = StartBackup();
  bool tickedAny = false;
  trap.Run(100, [&] { window_.SetPointer(MousePointer::Hourglass); });
  trap.Run(102, [&] { tickedAny = false; });
  trap.Run(104, [&] { walk.rows = window_.RowCount(); });
  for (int row = 1; row <= walk.rows; ++row) {
    // A tick that cannot be read is reported, and that row is left alone.
    bool ticked = false;
    if (!trap.Run(106, [&] { ticked = window_.RowChecked(row); }) || !ticked) continue;
    trap.Run(110, [&] { tickedAny = true; });
    RemoveRow(trap, walk, row);
  }
  walk.backup->Finish();
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
void Form1::RemoveRow(ErrorTrap& trap, Walk& walk, int row) {
  std::string type;
  if (!trap.Run(112, [&] { type = window_.RowText(row, 0); })) return;
  if (type == "REGISTRY") {
    std::string location;
    if (!trap.Run(114, [&] { location = window_.RowText(row, 1); })) return;
    const std::optional<RegistryTarget> target = TargetOf(location);
    if (!target) return;  // no hive it knows: nothing is done and nothing said
    trap.Run(target->rule->deleteStatement, [&] {
      const std::string name = window_.RowText(row, 2);
      if (!walk.triedValues.count(row)) SaveRegistryRun(walk, row);
      if (!walk.savedValues.count(row)) return;  // not saved: it stays
      if (DeleteRegistryValue(registry_, target->rule->hive, target->keyPath, name)) walk.backup->Deleted();
    });
  } else if (type == "STARTUP") {
    trap.Run(136, [&] {
      RemoveFile(window_, files_, window_.RowText(row, 1) + "\\" + window_.RowText(row, 2), *walk.backup);
    });
  } else if (type == "SYSFILE") {
    trap.Run(140, [&] { window_.ShowMessage("Could not delete system file.", msgbox::kOkOnly, ""); });
  } else if (type == "SERVICES") {
    trap.Run(144, [&] { StopService(services_, window_.RowText(row, 1)); });
  }
}

// Saves the values of the run of ticked registry rows that starts here, and
// flushes them to the disk once, before the first of them is deleted. The
// run ends at the first ticked row of another kind: only registry rows lie
// between a value's save and its delete, and the window takes no input
// meanwhile. A row that cannot be read here ends the run; the walk reads it
// again and reports it.
void Form1::SaveRegistryRun(Walk& walk, int first) {
  std::vector<int> saved;
  for (int row = first; row <= walk.rows; ++row) {
    try {
      if (!window_.RowChecked(row)) continue;
      if (window_.RowText(row, 0) != "REGISTRY") break;
      const std::optional<RegistryTarget> target = TargetOf(window_.RowText(row, 1));
      walk.triedValues.insert(row);
      if (target && walk.backup->SaveValue(target->rule->hive, target->keyPath, window_.RowText(row, 2))) {
        saved.push_back(row);
      }
    } catch (...) {
      break;
    }
  }
  if (walk.backup->FlushValues()) walk.savedValues.insert(saved.begin(), saved.end());
}

}  // namespace vq
