#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vq {

class FileSystem;

// The Windows folder drawn from the system folder path: the path up to and
// including its second backslash (C:\WINDOWS\ for C:\WINDOWS\system32).
// driveRoot receives the path up to and including the first backslash (C:\)
// as soon as that is found. With fewer than two backslashes the old position
// counter ran past 32767: throws Failure "Overflow", driveRoot keeping what
// the first scan set.
std::string SplitWindowsPath(std::string_view path, std::string& driveRoot);

// The whole text of a file: empty text when FileExists says no, "empty file"
// for a file of no length, UTF-16LE code units as stored when the first byte
// is 0xFF or 0xFE (the byte-order mark stays the first character), otherwise
// one character a byte in the system's ANSI code page.
std::string ReadWholeFile(FileSystem& files, const std::string& path);

// The text's lines: every carriage return removed, then split at every line
// feed. An empty text has no lines; a final line feed gives a last, empty line.
std::vector<std::string_view> SplitLines(std::string& text);

// True when the line holds, ignoring letter case, one of the texts that name
// something that can run (".exe", "load", "run" …).
bool NamesSomethingThatRuns(std::string_view line);

}  // namespace vq
