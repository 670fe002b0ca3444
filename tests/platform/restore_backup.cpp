#include "platform/restore_backup.h"

#include <windows.h>

#include <shlobj.h>

#include "e2e/harness.h"
#include "platform/text.h"
#include "platform/win32/text.h"
#include "support/reg_reader.h"

namespace vq::test {

std::string RestoreBackup(const std::wstring& backup, bool withRegImport, bool withSchtasks) {
  const std::wstring reg = backup + L"\\registry.reg";
  if (const auto bytes = e2e::ReadFileBytes(reg)) {
    if (withRegImport) {
      if (const DWORD code = e2e::RegImport(reg); code != 0) return "reg import failed with exit code " + std::to_string(code);
    }
    const auto values = ReadRegFile(*bytes);
    if (!values) return "registry.reg does not read";
    for (const ImportedValue& value : *values) {
      if (withRegImport && !value.comment) continue;
      const std::size_t slash = value.key.find(u'\\');
      const std::u16string hive = value.key.substr(0, slash);
      const HKEY root = hive == u"HKEY_CURRENT_USER"    ? HKEY_CURRENT_USER
                        : hive == u"HKEY_LOCAL_MACHINE" ? HKEY_LOCAL_MACHINE
                                                        : HKEY_USERS;
      e2e::WriteRegistryBytes(root, std::wstring(value.key.begin() + slash + 1, value.key.end()),
                              std::wstring(value.name.begin(), value.name.end()), value.type, value.data);
    }
  }
  const auto note = e2e::ReadFileBytes(backup + L"\\How to restore.txt");
  if (!note) return "no restore note";
  const std::u16string text = FromUtf16Le(note->substr(2));
  for (std::size_t at = 0; (at = text.find(u"  ->  ", at)) != std::u16string::npos; at += 6) {
    const std::size_t start = text.rfind(u"\r\n    ", at) + 6, end = text.find(u"\r\n", at);
    const std::wstring saved = backup + L"\\" + std::wstring(text.begin() + start, text.begin() + at);
    const std::wstring original(text.begin() + at + 6, text.begin() + end);
    for (const std::wstring& name : e2e::ListedFiles(saved)) {
      // Wine's folders may hold names that differ only in case: such a name goes back by its Unix path.
      const std::wstring from = e2e::ExactForm(saved + L"\\" + name), to = original + L"\\" + name;
      if (!::MoveFileW(from.c_str(), e2e::ExactForm(to).c_str()) &&
          (::GetLastError() != ERROR_ALREADY_EXISTS || !::MoveFileW(from.c_str(), e2e::UnixForm(to).c_str()))) {
        return "could not put " + win32::Narrow(name) + " back";
      }
    }
  }
  const std::u16string create = u"    schtasks /create /tn \"";
  for (std::size_t at = 0; (at = text.find(create, at)) != std::u16string::npos; ++at) {
    const std::size_t lineEnd = text.find(u"\r\n", at);
    const std::wstring line(text.begin() + at + 4, text.begin() + lineEnd);
    const std::size_t pathStart = at + create.size(), pathEnd = text.find(u'"', pathStart);
    const std::wstring path(text.begin() + pathStart, text.begin() + pathEnd);
    const std::size_t fileStart = text.find(u"/xml \"", pathEnd) + 6;
    const std::wstring file(text.begin() + fileStart, text.begin() + text.find(u'"', fileStart));
    if (withSchtasks) {
      if (const DWORD code = e2e::RunProgram(line); code != 0) return "schtasks failed with exit code " + std::to_string(code);
      continue;
    }
    const auto xml = e2e::ReadFileBytes(file);
    if (!xml) return "a task's saved XML does not read";
    e2e::WriteFileBytes(e2e::ShellFolder(CSIDL_SYSTEM) + L"\\Tasks" + path, *xml);
  }
  return "";
}

}  // namespace vq::test
