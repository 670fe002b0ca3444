#include "console/options.h"

#include <algorithm>
#include <string_view>

#include "console/categories.h"
#include "platform/text.h"

namespace vq {

namespace {

// Fleet tools hand over arguments cut from a text with its line end still on
// ("*\n"), so trailing white space is never part of an argument.
std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

bool IsSwitch(std::string_view arg) { return arg.size() > 1 && (arg[0] == '-' || arg[0] == '/'); }

bool ValidCategoryLetters(std::string_view letters) {
  if (letters.empty()) return false;
  return std::all_of(letters.begin(), letters.end(), [](char c) { return c == '*' || IsCategoryLetter(c); });
}

const char* FormatSwitch(OutputFormat format) {
  switch (format) {
    case OutputFormat::Csv: return "-c";
    case OutputFormat::Tab: return "-ct";
    case OutputFormat::Xml: return "-x";
    case OutputFormat::JsonLines: return "-j";
    case OutputFormat::Plain: break;
  }
  return "";
}

}  // namespace

std::variant<ConsoleOptions, ConsoleUsageError> ParseConsoleArguments(const std::vector<std::string>& rawArgs) {
  std::vector<std::string_view> args;
  for (const std::string& raw : rawArgs) {
    // Velociraptor passes an empty argument where an option is switched off,
    // and the options it has on as one argument ("-s -u"): an argument of
    // switches alone, separated by blanks, is taken as those switches.
    const std::string_view arg = TrimEnd(raw);
    std::vector<std::string_view> words;
    for (std::size_t start = 0; start < arg.size();) {
      const std::size_t end = std::min(arg.find(' ', start), arg.size());
      if (end > start) words.push_back(arg.substr(start, end - start));
      start = end + 1;
    }
    const bool switchesOnly = words.size() > 1 && std::all_of(words.begin(), words.end(), IsSwitch);
    if (switchesOnly) {
      args.insert(args.end(), words.begin(), words.end());
    } else if (!arg.empty()) {
      args.push_back(arg);
    }
  }

  ConsoleOptions options;
  bool formatChosen = false;
  auto chooseFormat = [&](OutputFormat format) -> std::optional<ConsoleUsageError> {
    if (formatChosen) {
      return ConsoleUsageError{std::string("Choose one output format: ") + FormatSwitch(options.format) + " and " +
                               FormatSwitch(format) + " were both given"};
    }
    formatChosen = true;
    options.format = format;
    return std::nullopt;
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!IsSwitch(arg)) {
      if (options.user) {
        return ConsoleUsageError{"Name one user at most: \"" + *options.user + "\" and \"" + std::string(arg) +
                                 "\" were both given"};
      }
      options.user = std::string(arg);
      continue;
    }
    const std::string name = AsciiLower(arg.substr(1));
    const bool hasValue = i + 1 < args.size();
    std::optional<ConsoleUsageError> error;
    if (name == "a") {
      if (!hasValue || !ValidCategoryLetters(AsciiLower(args[i + 1]))) {
        return ConsoleUsageError{"-a needs '*' or category letters, such as -a * or -a lb"};
      }
      options.categories = AsciiLower(args[++i]);
    } else if (name == "o") {
      if (!hasValue || args[i + 1].front() == '-') return ConsoleUsageError{"-o needs a file name"};
      options.outputFile = std::string(args[++i]);
    } else if (name == "c") {
      error = chooseFormat(OutputFormat::Csv);
    } else if (name == "ct") {
      error = chooseFormat(OutputFormat::Tab);
    } else if (name == "x") {
      error = chooseFormat(OutputFormat::Xml);
    } else if (name == "j") {
      error = chooseFormat(OutputFormat::JsonLines);
    } else if (name == "h") {
      options.hashes = true;
    } else if (name == "s") {
      options.signatures = true;
    } else if (name == "m") {
      options.hideMicrosoft = true;
    } else if (name == "u") {
      options.onlyUnverified = true;
    } else if (name == "t") {
      options.utcTimes = true;
    } else if (name == "nobanner") {
      options.noBanner = true;
    } else if (name == "accepteula") {
      // Fleet tools pass it to every console tool of this kind; there is nothing to accept.
    } else if (name == "v" || name == "vt" || name == "vr" || name == "vs" || name == "vrs") {
      options.virusTotal = true;
    } else if (name == "z") {
      return ConsoleUsageError{"-z (an offline system) is not supported: run the program on the system itself"};
    } else {
      return ConsoleUsageError{"Unknown switch: " + std::string(arg)};
    }
    if (error) return *error;
  }
  return options;
}

std::string ConsoleUsage() {
  return "Usage: VellorinQuadeC [-a <*|bdhloprstw>] [-c|-ct|-x|-j] [-h] [-s] [-m] [-u] [-t] [-o <file>]\r\n"
         "                      [-nobanner] [user]\r\n"
         "\r\n"
         "  -a         The sources to list, '*' for all (letters combine, the default is l):\r\n"
         "               b  Boot Execute       d  AppInit         h  Hijacks\r\n"
         "               l  Logon              o  Office          p  Print Monitors\r\n"
         "               r  LSA Providers      s  Services, Drivers\r\n"
         "               t  Tasks              w  Winlogon\r\n"
         "             Letters for sources this program does not have (c e g i k m n)\r\n"
         "             are taken and list nothing.\r\n"
         "  -c         Comma-separated values (UTF-16).\r\n"
         "  -ct        Tab-separated values (UTF-16).\r\n"
         "  -x         XML (UTF-16).\r\n"
         "  -j         JSON Lines, one object an entry (UTF-8).\r\n"
         "  -h         File hashes.\r\n"
         "  -s         Check digital signatures.\r\n"
         "  -m         Leave out entries signed by Microsoft.\r\n"
         "  -u         Only entries whose files are not verified.\r\n"
         "  -t         Times in UTC as YYYYMMDD-hhmmss.\r\n"
         "  -o         Write to this file instead of the console.\r\n"
         "  -nobanner  No banner before the list.\r\n"
         "  -v, -vt    Taken for compatibility: the VirusTotal columns stay empty.\r\n"
         "  -accepteula  Taken for compatibility; does nothing.\r\n"
         "  user       An account whose entries to list, '*' for every profile.\r\n";
}

}  // namespace vq
