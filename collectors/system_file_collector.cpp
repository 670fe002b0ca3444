#include "collectors/gathering.h"
#include "collectors/mod_special_folder.h"
#include "collectors/mod_system_file.h"
#include "entries/error_trap.h"
#include "platform/shell.h"

namespace vq {

// Appends a row for each line of the legacy system files that names something
// that can run. Each file has a block of twelve statements; the first block
// starts at 102.
void GetSysFile(const Gathering& gathering) {
  ErrorTrap trap(gathering.sink, LocationText("Form1", "GetSysFile"));
  RowSink& sink = gathering.sink;
  std::string windowsFolder, driveRoot;
  trap.Run(100, [&] { windowsFolder = SplitWindowsPath(GetSpecialFolder(gathering.shell, csidl::kSystem), driveRoot); });

  struct SystemFile {
    const char* name;
    const std::string& folder;
  };
  const SystemFile systemFiles[] = {
      {"autoexec.bat", driveRoot}, {"config.sys", driveRoot}, {"system.ini", windowsFolder}, {"win.ini", windowsFolder}};
  int block = 102;
  for (const SystemFile& file : systemFiles) {
    const int first = block;
    block += 24;
    std::string path, text;
    trap.Run(first, [&] { path = file.folder + file.name; });
    // A file that could not be read lists nothing (never another file's lines).
    if (!trap.Run(first + 2, [&] { text = ReadWholeFile(gathering.files, path); })) continue;
    std::vector<std::string_view> lines;
    trap.Run(first + 4, [&] { lines = SplitLines(text); });

    std::size_t index = 0;
    std::string_view line;
    trap.Loop(
        first + 6, first + 22, [&] { return index < lines.size(); }, [&] { return ++index < lines.size(); },
        [&] {
          sink.KeepAnswering();
          trap.Run(first + 8, [&] { line = lines[index]; });
          trap.If(first + 10, [&] { return !line.empty(); }, [&] {
            trap.If(first + 12, [&] { return NamesSomethingThatRuns(line); }, [&] {
              int row = 0;
              trap.Run(first + 14, [&] { row = sink.AddRow("SYSFILE", {std::nullopt, category::kLogon, std::string(line)}); });
              trap.Run(first + 16, [&] { sink.SetSubItem(row, 1, path); });
              trap.Run(first + 18, [&] { sink.SetSubItem(row, 2, std::string(line)); });
              trap.Run(first + 20, [&] { sink.SetSubItem(row, 3, file.folder); });
            });
          });
        });
  }
}

}  // namespace vq
