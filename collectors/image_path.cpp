#include "collectors/image_path.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "collectors/mod_special_folder.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace vq {

namespace {

constexpr std::string_view kNotFound = "File not found: ";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kWhite = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kWhite);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kWhite) - first + 1);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && EqualsIgnoringCase(text.substr(0, start.size()), start);
}

bool HasFolderOrDrive(std::string_view path) { return path.find_first_of("\\/:") != std::string_view::npos; }

std::string_view FileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool HasExtension(std::string_view path) { return FileName(path).find('.') != std::string_view::npos; }

// One candidate: where its text names a folder or drive, that file; a bare
// name, in each search folder in turn. A name without an extension is tried
// only with the one its loader adds: ".exe" for a program (addExe), as
// process creation does, ".dll" for a library, as LoadLibrary does.
std::optional<std::string> FindFile(std::string_view candidate, bool addExe, const PathLookup& lookup) {
  if (candidate.empty()) return std::nullopt;
  const std::string form = std::string(candidate) + (HasExtension(candidate) ? "" : addExe ? ".exe" : ".dll");
  if (HasFolderOrDrive(candidate)) {
    if (lookup.isFile(form)) return form;
    return std::nullopt;
  }
  for (const std::string& folder : lookup.searchFolders) {
    if (folder.empty()) continue;
    const bool endsInSlash = folder.back() == '\\' || folder.back() == '/';
    std::string path = endsInSlash ? folder + form : folder + "\\" + form;
    if (lookup.isFile(path)) return path;
  }
  return std::nullopt;
}

// An unquoted command's file: the text before each blank, left to right, then
// the whole text.
std::optional<std::string> FindAtBlanks(std::string_view text, bool addExe, const PathLookup& lookup) {
  for (std::size_t end = 1; end <= text.size(); ++end) {
    const bool beforeBlank = end == text.size() || IsBlank(text[end]);
    if (!beforeBlank || IsBlank(text[end - 1])) continue;
    if (auto found = FindFile(text.substr(0, end), addExe, lookup)) return found;
  }
  return std::nullopt;
}

// What an unquoted command most likely meant to run: its text up to the first
// blank that a switch follows, or all of it.
std::string_view BestCandidate(std::string_view text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (IsBlank(text[i]) && (text[i + 1] == '/' || text[i + 1] == '-')) return Trim(text.substr(0, i));
  }
  return text;
}

// The file of a command whose first token is the file: quoted, or tried at blanks.
std::string FindImage(std::string_view text, bool addExe, const PathLookup& lookup) {
  text = Trim(text);
  if (!text.empty() && text.front() == '"') {
    const std::size_t closing = text.find('"', 1);
    const std::string_view quoted = closing == std::string_view::npos ? text.substr(1) : text.substr(1, closing - 1);
    if (auto found = FindFile(quoted, addExe, lookup)) return *found;
    return std::string(kNotFound) + std::string(quoted);
  }
  if (auto found = FindAtBlanks(text, addExe, lookup)) return *found;
  return std::string(kNotFound) + std::string(BestCandidate(text));
}

// The first token: the quoted text, or the text up to the first blank; and what follows it.
std::pair<std::string_view, std::string_view> SplitFirstToken(std::string_view command) {
  std::size_t end;
  if (command.front() == '"') {
    end = command.find('"', 1);
    if (end == std::string_view::npos) return {command.substr(1), {}};
    return {command.substr(1, end - 1), command.substr(end + 1)};
  }
  end = command.find_first_of(" \t");
  if (end == std::string_view::npos) return {command, {}};
  return {command.substr(0, end), command.substr(end)};
}

// rundll32 <dll>,<entry point> [arguments]: the DLL's text, quoted or up to the comma.
std::string_view Rundll32Dll(std::string_view arguments) {
  arguments = Trim(arguments);
  if (!arguments.empty() && arguments.front() == '"') return arguments;
  return arguments.substr(0, arguments.find(','));
}

// regsvr32 [/s] [/u] [/n] [/i[:text]] <dll>: the text from the first
// argument that is no switch (a switch's quoted part may hold blanks).
std::string_view Regsvr32Dll(std::string_view arguments) {
  std::size_t i = 0;
  while (true) {
    while (i < arguments.size() && IsBlank(arguments[i])) ++i;
    if (i == arguments.size() || (arguments[i] != '/' && arguments[i] != '-')) return arguments.substr(i);
    bool inQuotes = false;
    while (i < arguments.size() && (inQuotes || !IsBlank(arguments[i]))) {
      if (arguments[i] == '"') inQuotes = !inQuotes;
      ++i;
    }
  }
}

// Service image paths may start the NT way: \SystemRoot\ for the Windows
// folder, \??\ before a drive letter.
std::string WithoutNtStart(std::string_view command, const PathLookup& lookup) {
  constexpr std::string_view kSystemRoot = "\\SystemRoot\\";
  constexpr std::string_view kDosDevices = "\\??\\";
  if (StartsWithIgnoringCase(command, kSystemRoot)) {
    const std::string windows = lookup.expand ? lookup.expand("%SystemRoot%") : "%SystemRoot%";
    return windows + "\\" + std::string(command.substr(kSystemRoot.size()));
  }
  if (command.starts_with(kDosDevices)) return std::string(command.substr(kDosDevices.size()));
  return std::string(command);
}

}  // namespace

std::string ImagePathOf(std::string_view launchString, const PathLookup& lookup) {
  const std::string expanded = lookup.expand ? lookup.expand(std::string(launchString)) : std::string(launchString);
  const std::string command = WithoutNtStart(Trim(expanded), lookup);
  if (command.empty()) return {};

  const auto [program, arguments] = SplitFirstToken(command);
  const std::string_view name = FileName(program);
  std::string_view dll;
  if (EqualsIgnoringCase(name, "rundll32") || EqualsIgnoringCase(name, "rundll32.exe")) {
    dll = Trim(Rundll32Dll(arguments));
  } else if (EqualsIgnoringCase(name, "regsvr32") || EqualsIgnoringCase(name, "regsvr32.exe")) {
    dll = Trim(Regsvr32Dll(arguments));
  }
  if (!dll.empty()) return FindImage(dll, false, lookup);
  return FindImage(command, true, lookup);
}

PathLookup SystemPathLookup(Shell& shell, FileSystem& files) {
  PathLookup lookup;
  lookup.isFile = [&files](const std::string& path) { return files.IsFile(path); };
  lookup.expand = [&shell](const std::string& text) { return shell.ExpandEnvironment(text); };
  std::string system;
  try {
    system = GetSpecialFolder(shell, csidl::kSystem);
  } catch (const Failure&) {
  }
  if (!system.empty()) {
    const std::string windows = system.substr(0, system.rfind('\\'));
    lookup.searchFolders = {system, windows + "\\System", windows};
  }
  const std::string path = shell.ExpandEnvironment("%PATH%");
  for (std::size_t start = 0; path != "%PATH%" && start <= path.size();) {
    const std::size_t end = std::min(path.find(';', start), path.size());
    if (end > start) lookup.searchFolders.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return lookup;
}

bool IsInsideFolder(std::string_view path, std::string_view folder) {
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.remove_suffix(1);
  if (folder.empty() || path.starts_with(kNotFound) || path.size() <= folder.size() + 1) return false;
  for (std::size_t at = path.find(".."); at != std::string_view::npos; at = path.find("..", at + 1)) {
    const bool startsLevel = at == 0 || path[at - 1] == '\\' || path[at - 1] == '/';
    const bool endsLevel = at + 2 == path.size() || path[at + 2] == '\\' || path[at + 2] == '/';
    if (startsLevel && endsLevel) return false;
  }
  return StartsWithIgnoringCase(path, folder) && (path[folder.size()] == '\\' || path[folder.size()] == '/');
}

std::optional<std::string> ComServerOf(Registry& registry, Hive userHive, const std::string& userPrefix,
                                       std::string_view classId, std::string_view serverKey) {
  const std::string below = "\\CLSID\\" + std::string(classId) + "\\" + std::string(serverKey);
  const std::pair<Hive, std::string> places[] = {{userHive, userPrefix + "Software\\Classes" + below},
                                                 {Hive::LocalMachine, "SOFTWARE\\Classes" + below}};
  for (const auto& [hive, path] : places) {
    try {
      const std::unique_ptr<RegistryKey> key = registry.OpenKey(hive, Utf8ToUtf16(path), kKeyQueryValue);
      const std::optional<StoredValue> value = key ? key->QueryValue(u"") : std::nullopt;
      if (!value || (value->type != regtype::kSz && value->type != regtype::kExpandSz)) continue;
      std::u16string text = FromUtf16Le(value->data);
      if (const std::size_t end = text.find(u'\0'); end != std::u16string::npos) text.resize(end);
      return Utf16ToUtf8(text);
    } catch (const Failure&) {
      // A registration that cannot be read counts as none; the machine's may still say.
    }
  }
  return std::nullopt;
}

}  // namespace vq
