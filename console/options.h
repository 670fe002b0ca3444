#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "console/output.h"

namespace vq {

// What the console edition's command line asks for.
struct ConsoleOptions {
  std::string categories = "l";  // -a: '*' and category letters, lower case, as given
  OutputFormat format = OutputFormat::Plain;
  bool hashes = false;           // -h
  bool signatures = false;       // -s
  bool hideMicrosoft = false;    // -m
  bool onlyUnverified = false;   // -u
  bool utcTimes = false;         // -t
  bool noBanner = false;         // -nobanner
  bool virusTotal = false;       // -v, -vt, -vr, -vs, -vrs: only adds the (empty) VT columns
  std::optional<std::string> outputFile;  // -o
  std::optional<std::string> user;        // "*" for every profile, or an account name
};

// A command line the program cannot follow; the message says why, for the user.
struct ConsoleUsageError {
  std::string message;
};

// The arguments, UTF-8 and without the program's name. Switches start with
// '-' or '/' and are matched without letter case; each argument is first cut
// of trailing white space and line ends, and an argument left empty is skipped.
std::variant<ConsoleOptions, ConsoleUsageError> ParseConsoleArguments(const std::vector<std::string>& args);

// The usage text, lines ending in CRLF.
std::string ConsoleUsage();

}  // namespace vq
