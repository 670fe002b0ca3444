#include <algorithm>
#include <map>
#include <set>

#include "app/form1.h"
#include "entries/error_trap.h"
#include "entries/startup_approved.h"
#include "platform/failure.h"
#include "platform/text.h"
#include "removal/backup.h"
#include "removal/file_removal.h"
#include "removal/registry_removal.h"
#include "removal/service_stop.h"
#include "removal/startup_switch.h"
#include "removal/task_removal.h"

namespace vq {

namespace {

bool SameFolder(std::string_view a, std::string_view b) {
  while (!a.empty() && a.back() == '\\') a.remove_suffix(1);
  while (!b.empty() && b.back() == '\\') b.remove_suffix(1);
  return a.size() == b.size() && ContainsIgnoringCase(a, b);
}

// One value of a key going whole, as it was saved, and its entry in the backup.
struct SavedKeyValue {
  RegistryValue value;
  std::size_t entry;
};

// Saves every value of a key that goes whole, read through the one handle
// it will go through (returned in `key`): each value's name and entry. A
// key with keys below it stays, and so does one whose values could not all
// be saved: what was saved of it leaves the backup again.
std::optional<std::vector<SavedKeyValue>> SaveWholeKey(Registry& registry, RemovalBackup& backup,
                                                       const RegistryValueItem& item, std::shared_ptr<RegistryKey>& key) {
  key = OpenForRemoval(registry, item);
  std::u16string below;
  if (!key || key->EnumSubKey(0, below) == EnumResult::Value) return std::nullopt;
  std::vector<SavedKeyValue> saved;
  RegistryValue value;
  bool whole = true;
  for (std::uint32_t index = 0; whole; ++index) {
    const EnumResult result = key->EnumValue(index, kAnyNameRoom, kAnyDataRoom, value);
    if (result == EnumResult::End) break;
    const std::optional<std::size_t> entry =
        result == EnumResult::Value ? backup.SaveValue({item.hive, item.keyPath, value.name, std::nullopt}, *key)
                                    : std::nullopt;
    if (entry) saved.push_back({value, *entry});
    whole = entry.has_value();
  }
  if (whole && !saved.empty()) return saved;
  for (const SavedKeyValue& kept : saved) backup.ValueRemoved(kept.entry, false);
  return std::nullopt;
}

// True when the key holds exactly the values saved of it, in the same order,
// and no key below: a value written since, or one a listing cut short did
// not see, keeps the key where it is.
bool HoldsExactly(RegistryKey& key, const std::vector<SavedKeyValue>& saved) {
  std::u16string below;
  if (key.EnumSubKey(0, below) == EnumResult::Value) return false;
  RegistryValue now;
  for (std::uint32_t index = 0;; ++index) {
    const EnumResult result = key.EnumValue(index, kAnyNameRoom, kAnyDataRoom, now);
    if (result == EnumResult::End) return index == saved.size();
    if (result != EnumResult::Value || index >= saved.size()) return false;
    const RegistryValue& was = saved[index].value;
    if (now.name != was.name || now.type != was.type || now.data != was.data) return false;
  }
}

}  // namespace

void Form1::PushButton4_Click() {
  if (Busy()) return;
  ErrorTrap trap(reportBox_, LocationText("Form1", "PushButton4_Click"));
  // A box that failed answered nothing: nothing is deleted without a Yes.
  int answer = 0;
  trap.Run(100, [&] {
    answer = window_.ShowMessage("Are you sure you want to delete/stop the checked item(s)?", msgbox::kYesNo,
                                 "Delete/Stop Selected Items");
  });
  if (answer == msgbox::kYes) trap.Run(102, [&] { DeleteItem(); });
}

std::unique_ptr<RemovalBackup> Form1::StartBackup() {
  return std::make_unique<WalkBackup>(files_, shell_, clock_);
}

// The state of one delete walk: its backup, the registry rows whose values
// it tried to save, and the values saved (and flushed), by row, with their
// entries in the backup and the keys they were read through: only these may
// be deleted, and only through that key.
struct Form1::Walk {
  struct SavedValue {
    RegistryValueItem value;
    std::size_t entry;
    std::shared_ptr<RegistryKey> key;
    std::vector<SavedKeyValue> keyValues{};  // a key going whole: each value, its entry
    std::optional<SavedSwitch> switchSaved{};  // Explorer's switch of the value, which goes with it
  };
  std::unique_ptr<RemovalBackup> backup;
  int rows = 0;
  std::set<int> triedValues;
  std::map<int, SavedValue> savedValues;
  // The keys of Explorer's switches, each opened once a walk (null: none
  // there, or refused), by hive and path.
  std::map<std::pair<Hive, std::u16string>, std::shared_ptr<RegistryKey>> switchKeys;
  // True while a value saved for this row or one after it waits for its delete.
  bool ValuesPendingFrom(int row) const { return savedValues.lower_bound(row) != savedValues.end(); }
  // How many values a run may save. Deleting a value can take far longer
  // than saving it, so a run saved until the window's events fell due could
  // keep them waiting far longer again. The first run saves a few; after a
  // run whose deletes ended with the events due, the next saves half as
  // many; after a full one that ended in time, twice as many.
  static constexpr std::size_t kFirstRun = 32;
  static constexpr std::size_t kLongestRun = std::size_t{1} << 20;
  std::size_t runRoom = kFirstRun;
  std::size_t lastRun = 0;  // the values of the run whose deletes are under way; 0: none
  void RunDeleted(bool eventsDue) {
    if (eventsDue) {
      runRoom = std::max<std::size_t>(1, lastRun / 2);
    } else if (lastRun >= runRoom) {  // a run cut short by other rows says nothing of the time
      runRoom = std::min(kLongestRun, runRoom * 2);
    }
    lastRun = 0;
  }
  const std::shared_ptr<RegistryKey>& SwitchKey(Registry& registry, const StartupSwitch& at) {
    auto [known, added] = switchKeys.try_emplace({at.hive, at.keyPath});
    if (added) known->second = OpenSwitchesForRemoval(registry, at);
    return known->second;
  }
};

const StartupItem* Form1::ItemOf(int row) {
  const std::uint32_t number = window_.RowItem(row);
  if (number == 0) return nullptr;
  const StartupItem* item = items_.Find(number);
  if (!item) throw Failure("The row no longer stands for an item of the list");
  return item;
}

// The value a registry row stands for: its item, or, for a row the program
// did not list itself, the value its Location and Item texts name (nullopt
// when the Location has no hive prefix). The name is read from the texts
// only when asked for.
std::optional<RegistryValueItem> Form1::RegistryValueOf(int row, bool withName) {
  if (const StartupItem* item = ItemOf(row)) {
    if (const auto* value = std::get_if<RegistryValueItem>(item)) return *value;
    throw Failure("The row does not stand for a registry value");
  }
  const std::optional<RegistryTarget> target = TargetOf(window_.RowText(row, 1));
  if (!target) return std::nullopt;
  return RegistryValueItem{target->hive->hive, Utf8ToUtf16(target->keyPath),
                           withName ? Utf8ToUtf16(window_.RowText(row, 2)) : std::u16string(), std::nullopt};
}

// The file a Startup row stands for: its item, or, for a row the program did
// not list itself, the file its Location and Item name.
StartupFileItem Form1::StartupFileOf(int row) {
  if (const StartupItem* item = ItemOf(row)) {
    if (const auto* file = std::get_if<StartupFileItem>(item)) return *file;
    throw Failure("The row does not stand for a file");
  }
  const std::string folder = window_.RowText(row, 1);
  return StartupFileItem{files_.ExactFolder(folder), Utf8ToUtf16(window_.RowText(row, 2)),
                         !SameFolder(folder, shell_.SpecialFolderPath(csidl::kStartup))};
}

// The task a Tasks row stands for: its item, or, for a row the program did
// not list itself, the task its Location (the folder) and Item name.
ScheduledTaskItem Form1::ScheduledTaskOf(int row) {
  if (const StartupItem* item = ItemOf(row)) {
    if (const auto* task = std::get_if<ScheduledTaskItem>(item)) return *task;
    throw Failure("The row does not stand for a scheduled task");
  }
  return ScheduledTaskItem{{Utf8ToUtf16(window_.RowText(row, 1)), Utf8ToUtf16(window_.RowText(row, 2))}, {}};
}

// Walks the list top to bottom and removes or stops what each ticked row
// stands for, each saved first, then gathers the list anew. The list is not
// touched during the walk, and no refresh or second walk can start inside it.
void Form1::DeleteItem() {
  BusyScope busy(*this);
  ErrorTrap trap(reportBox_, LocationText("Form1", "DeleteItem"));
  Walk walk;
  walk.backup = StartBackup();
  struct WalkingScope {
    explicit WalkingScope(bool& walking) : walking(walking) { walking = true; }
    ~WalkingScope() { walking = false; }
    bool& walking;
  } walking(walking_);
  bool tickedAny = false;
  trap.Run(100, [&] { window_.SetPointer(MousePointer::Hourglass); });
  trap.Run(102, [&] { tickedAny = false; });
  trap.Run(104, [&] { walk.rows = window_.RowCount(); });
  for (int row = 1; row <= walk.rows; ++row) {
    // The window answers between rows, but never while a value saved is
    // still to be deleted.
    if (!walk.ValuesPendingFrom(row)) {
      const bool due = window_.EventsDue();
      if (walk.lastRun > 0) walk.RunDeleted(due);
      if (due) window_.DoEvents();
      if (endAfterWalk_) break;  // closed: no value is left saved and not deleted here
    }
    // A tick that cannot be read is reported, and that row is left alone.
    bool ticked = false;
    if (!trap.Run(106, [&] { ticked = window_.RowChecked(row); }) || !ticked) continue;
    trap.Run(110, [&] { tickedAny = true; });
    RemoveRow(trap, walk, row);
  }
  walk.backup->Finish();
  walking_ = false;  // a close from here on, during the refresh, ends the program at once
  if (endAfterWalk_) {
    window_.EndProgram();
    return;
  }
  trap.Run(148, [&] { window_.SetPointer(MousePointer::Default); });
  // Statement 150 tests whether any row was ticked.
  if (!tickedAny) {
    trap.Run(152, [&] { window_.ShowMessage("You forgot to check item(s).", msgbox::kOkOnly, ""); });
  } else {
    trap.Run(154, [&] { LoadItems(); });
  }
}

// Hands one ticked row to the removal its type tag calls for, which acts on
// exactly what the row stands for. A row that cannot be read is reported and
// left alone; a type nothing handles does nothing.
void Form1::RemoveRow(ErrorTrap& trap, Walk& walk, int row) {
  std::string type;
  if (!trap.Run(112, [&] { type = window_.RowText(row, 0); })) return;
  if (type == "REGISTRY") {
    std::optional<RegistryValueItem> value;
    if (!trap.Run(114, [&] { value = RegistryValueOf(row, false); })) return;
    const HiveInfo* hive = value ? FindHive(value->hive) : nullptr;
    if (!hive) return;  // no hive it knows: nothing is done and nothing said
    trap.Run(hive->deleteStatement, [&] {
      if (!walk.triedValues.count(row)) SaveRegistryRun(walk, row);
      const auto saved = walk.savedValues.find(row);
      if (saved == walk.savedValues.end()) return;  // not saved: it stays
      const Walk::SavedValue value = std::move(saved->second);
      walk.savedValues.erase(saved);  // its key closes with the last value of the run
      if (value.value.wholeKey) {
        // The key goes with its values in one step, or stays whole; restoring its values brings it back.
        const bool gone = HoldsExactly(*value.key, value.keyValues) && value.key->DeleteKey();
        for (const SavedKeyValue& kept : value.keyValues) walk.backup->ValueRemoved(kept.entry, gone);
        return;
      }
      const bool gone = DeleteRegistryValue(registry_, value.value, *value.key);
      walk.backup->ValueRemoved(value.entry, gone);
      if (value.switchSaved) SwitchEntryRemoved(*walk.backup, *value.switchSaved, gone);
    });
  } else if (type == "STARTUP") {
    trap.Run(136, [&] {
      const StartupFileItem file = StartupFileOf(row);
      // Only a row the program listed knows which Startup folder its file is in, and so its switch.
      const bool listed = window_.RowItem(row) != 0;
      if (RemoveFile(window_, files_, file, *walk.backup) && listed) RemoveSwitch(walk, SwitchOf(file));
    });
  } else if (type == "SYSFILE") {
    trap.Run(140, [&] { window_.ShowMessage("Could not delete system file.", msgbox::kOkOnly, ""); });
  } else if (type == "SERVICES") {
    trap.Run(144, [&] { StopService(services_, window_.RowText(row, 1)); });
  } else if (type == "TASKS") {
    // Numbered after the statements the walk has always had.
    trap.Run(156, [&] { RemoveTask(window_, tasks_, files_, ScheduledTaskOf(row), *walk.backup); });
  }
}

// Saves the values of the run of ticked registry rows that starts here, and
// flushes them to the disk once, before the first of them is deleted. The
// run ends at the first ticked row of another kind: only registry rows lie
// between a value's save and its delete, and the window takes no input
// meanwhile. A run also ends where the window's events fall due, so that
// its values are flushed and deleted and the window answers before the next
// run is saved. Each value is read through the key it will be removed through,
// kept open until then (one key for the values of one key in a row); a key
// that will not open for that, missing or refused, keeps its value. A row
// that cannot be read here ends the run; the walk reads it again and
// reports it.
void Form1::SaveRegistryRun(Walk& walk, int first) {
  std::vector<std::pair<int, Walk::SavedValue>> saved;
  std::shared_ptr<RegistryKey> key;
  std::optional<RegistryValueItem> keyOf;  // the value the key was opened for
  for (int row = first; row <= walk.rows; ++row) {
    if (row > first && (saved.size() >= walk.runRoom || window_.EventsDue())) break;
    try {
      if (!window_.RowChecked(row)) continue;
      if (window_.RowText(row, 0) != "REGISTRY") break;
      const std::optional<RegistryValueItem> value = RegistryValueOf(row, true);
      walk.triedValues.insert(row);
      if (!value) continue;
      if (value->wholeKey) {
        keyOf.reset();
        std::shared_ptr<RegistryKey> whole;
        if (auto values = SaveWholeKey(registry_, *walk.backup, *value, whole)) {
          saved.push_back({row, {*value, 0, whole, std::move(*values)}});
        }
        continue;
      }
      if (!keyOf || keyOf->wholeKey || keyOf->hive != value->hive || keyOf->keyPath != value->keyPath) {
        keyOf = value;
        key = OpenForRemoval(registry_, *value);
      }
      if (!key) continue;
      if (const std::optional<std::size_t> entry = walk.backup->SaveValue(*value, *key)) {
        Walk::SavedValue& kept = saved.emplace_back(row, Walk::SavedValue{*value, *entry, key}).second;
        // Only a row the program listed names its entry exactly, and so its switch.
        const std::optional<StartupSwitch> at = window_.RowItem(row) != 0 ? SwitchOf(*value) : std::nullopt;
        if (at) {
          kept.switchSaved = SaveSwitch(*walk.backup, *at, walk.SwitchKey(registry_, *at));
        }
      }
    } catch (...) {
      break;
    }
  }
  if (walk.backup->FlushValues()) walk.savedValues.insert(saved.begin(), saved.end());
  walk.lastRun = saved.size();
}

}  // namespace vq

namespace vq {

// Explorer's switch of a file that went: saved and flushed on its own, then
// deleted. One that cannot be saved stays (it switches nothing off that is there).
void Form1::RemoveSwitch(Walk& walk, const std::optional<StartupSwitch>& at) {
  if (!at) return;
  const std::optional<SavedSwitch> saved = SaveSwitch(*walk.backup, *at, walk.SwitchKey(registry_, *at));
  if (saved && walk.backup->FlushValues()) SwitchEntryRemoved(*walk.backup, *saved, true);
}

}  // namespace vq
