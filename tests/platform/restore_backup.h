#pragma once

#include <string>

namespace vq::test {

// Puts a delete walk's backup back as its user would: registry.reg imported
// (through the system's own "reg import" when asked, else each value written
// by the test), its comment lines through the native call that takes a
// counted name; the files of each folder the note names moved back to the
// folder it names beside it, by their exact names. Returns what went wrong,
// or empty text.
std::string RestoreBackup(const std::wstring& backup, bool withRegImport);

}  // namespace vq::test
