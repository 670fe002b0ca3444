#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

class FileSystem;
class Registry;
class Shell;
enum class Hive : std::uint32_t;

// How a launch string's file is looked for: the system's answers, asked
// through functions so that the rules can be followed anywhere.
struct PathLookup {
  std::function<bool(const std::string&)> isFile;          // true for an existing file (not a folder)
  std::function<std::string(const std::string&)> expand;  // %variables% expanded
  // Where a bare program name is searched, in order: System32, System,
  // Windows, then the folders of PATH.
  std::vector<std::string> searchFolders;
};

// The file a launch string runs, found as Windows finds it:
// - environment variables are expanded first; a service's NT-style start is
//   read as Windows reads it (\SystemRoot\ as the Windows folder, \??\ dropped);
// - a quoted first token is the path;
// - an unquoted command is tried left to right at each space, as process
//   creation does ("C:\Program Files\A B\x.exe /s" tries C:\Program, then
//   C:\Program Files\A, then C:\Program Files\A B\x.exe …), each candidate
//   as it stands and then with ".exe" when it has no extension;
// - a bare name (no folder, no drive) is searched in the search folders;
// - for rundll32 and regsvr32 (any letter case, with or without a folder)
//   the file is the DLL they load, found the same way but with no extension
//   added; rundll32's runs up to the comma before the entry point, regsvr32's
//   is the first argument that is not a switch.
// Returns the file's path; "File not found: " and the best candidate when no
// candidate is a file; empty text for an empty launch string. The best
// candidate is the quoted path when there is one, otherwise the text up to
// the first space followed by a switch ('/' or '-'), or the whole text when
// no switch follows (for rundll32: the DLL text up to the comma).
std::string ImagePathOf(std::string_view launchString, const PathLookup& lookup);

// The lookup process creation uses for the user the program runs as: files
// as the file system has them, that user's variables, and System32, System,
// the Windows folder, then PATH.
PathLookup SystemPathLookup(Shell& shell, FileSystem& files);

// True when the path (as ImagePathOf gives it) names a file inside the
// folder, letter case aside; never for "File not found: ", nor for a path
// that climbs with ".." (C:\Windows\..\Users\x.exe is not inside C:\Windows).
bool IsInsideFolder(std::string_view path, std::string_view folder);

// The server of a COM class as the user sees it: the default value of its
// `serverKey` ("InprocServer32", "LocalServer32") in the user's own
// registration (below `userPrefix` of `userHive`: Software\Classes\CLSID)
// before the machine's (SOFTWARE\Classes\CLSID), as stored. nullopt where
// neither registers it, or it cannot be read.
std::optional<std::string> ComServerOf(Registry& registry, Hive userHive, const std::string& userPrefix,
                                       std::string_view classId, std::string_view serverKey = "InprocServer32");

}  // namespace vq
