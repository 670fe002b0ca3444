#pragma once

#include <string>

namespace vq::test {

// Puts a delete walk's backup back as its user would: registry.reg imported
// (through the system's own "reg import" when asked, else each value written
// by the test), its comment lines through the native call that takes a
// counted name; the files of each folder the note names moved back to the
// folder it names beside it, by their exact names; each task by the note's own
// schtasks line when asked, else its saved XML copied into the task store
// (which keeps its actions: Wine's schtasks drops them). Returns what went
// wrong, or empty text.
std::string RestoreBackup(const std::wstring& backup, bool withRegImport, bool withSchtasks = false);

}  // namespace vq::test
