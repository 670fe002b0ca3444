#include "console/options.h"

#include <gtest/gtest.h>

#include "console/categories.h"

namespace vq {
namespace {

// The options in one line, every field but the defaults.
std::string Describe(const ConsoleOptions& o) {
  static const char* const kFormats[] = {"plain", "csv", "tab", "xml", "jsonl"};
  std::string text = std::string("a=") + o.categories + " " + kFormats[static_cast<int>(o.format)];
  for (const auto& [on, name] : {std::pair{o.hashes, " h"}, {o.signatures, " s"}, {o.hideMicrosoft, " m"},
                                 {o.onlyUnverified, " u"}, {o.utcTimes, " t"}, {o.noBanner, " nobanner"},
                                 {o.virusTotal, " vt"}}) {
    if (on) text += name;
  }
  if (o.outputFile) text += " o=" + *o.outputFile;
  if (o.user) text += " user=" + *o.user;
  return text;
}

TEST(ConsoleOptions, FleetCommandLinesParse) {
  struct Case {
    std::vector<std::string> args;
    std::string options;
  };
  const Case cases[] = {
      // Velociraptor: with signatures, with an empty argument in their place, an older artifact's "*\n".
      {{"-nobanner", "-accepteula", "-t", "-a", "*", "-s", "-c", "-h", "*"}, "a=* csv h s t nobanner user=*"},
      {{"-nobanner", "-accepteula", "-t", "-a", "*", "", "-c", "-h", "*"}, "a=* csv h t nobanner user=*"},
      {{"-nobanner", "-accepteula", "-t", "-a", "*B", "-c", "*\n"}, "a=*b csv t nobanner user=*"},
      {{"-nobanner", "-accepteula", "-t", "-a", "*", "-s -u", "-c", "-h", "*"}, "a=* csv h s u t nobanner user=*"},
      // Kansa and its forks, Wazuh, KAPE.
      {{"/accepteula", "-a", "*", "-c", "-h", "-s", "*"}, "a=* csv h s user=*"},
      {{"/accepteula", "-a", "*", "-c", "-h", "-vt", "-v", "-m", "-s", "*"}, "a=* csv h s m vt user=*"},
      {{"-nobanner", "/accepteula", "-a", "*", "-c", "-h", "-s", "-v", "-vt"}, "a=* csv h s nobanner vt"},
      {{"-a", "*", "-s", "-c", "-accepteula", "-nobanner", "-h", "*"}, "a=* csv h s nobanner user=*"},
      // DFIR-ORC, as CSV and as XML.
      {{"-accepteula", "-c", "-h", "-s", "-t", "-a", "*", "*"}, "a=* csv h s t user=*"},
      {{"/accepteula", "-t", "-h", "-x", "-a", "*"}, "a=* xml h t"},
      // A person at a console.
      {{"-c", "-h", "-s", "*", "-o", "C:\\out\\autoruns.csv"}, "a=l csv h s o=C:\\out\\autoruns.csv user=*"},
      {{}, "a=l plain"},
      {{"/CT", "-A", "SL", "-U", "Jo Smith \r\n"}, "a=sl tab u user=Jo Smith"},
      {{"-j", "-vrs"}, "a=l jsonl vt"},
  };
  for (const Case& c : cases) {
    const auto parsed = ParseConsoleArguments(c.args);
    const auto* error = std::get_if<ConsoleUsageError>(&parsed);
    EXPECT_EQ(error ? "refused: " + error->message : Describe(std::get<ConsoleOptions>(parsed)), c.options);
  }
}

TEST(ConsoleOptions, CommandLinesItCannotFollowAreUsageErrors) {
  const std::string kNeedsLetters = "-a needs '*' or category letters, such as -a * or -a lb";
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"-c", "-x"}, "Choose one output format: -c and -x were both given"},
      {{"-ct", "/C"}, "Choose one output format: -ct and -c were both given"},
      {{"-a"}, kNeedsLetters},
      {{"-a", "", "-c"}, kNeedsLetters},
      {{"-a", "lq"}, kNeedsLetters},
      {{"-c", "-o"}, "-o needs a file name"},
      {{"-o", "-c"}, "-o needs a file name"},
      {{"-cx"}, "Unknown switch: -cx"},
      {{"-z", "D:\\Windows", "D:\\Users\\jo"},
       "-z (an offline system) is not supported: run the program on the system itself"},
      {{"*", "jo"}, "Name one user at most: \"*\" and \"jo\" were both given"},
  };
  for (const Case& c : cases) {
    const auto parsed = ParseConsoleArguments(c.args);
    const auto* error = std::get_if<ConsoleUsageError>(&parsed);
    EXPECT_EQ(error ? error->message : "accepted", c.message);
  }
}

TEST(ConsoleOptions, CategoryLettersChooseTheirSources) {
  struct Case {
    std::string letters, category;
    bool chosen;
  };
  const Case cases[] = {
      {"l", "Logon", true},       {"l", "Services", false}, {"bs", "Services", true}, {"bs", "Boot Execute", true},
      {"d", "AppInit", true},     {"h", "Hijacks", true},   {"b*", "Logon", true},   {"ckt", "Logon", false},
      {"lbdhs", "Drivers", true}, {"lbdh", "Drivers", false}, {"t", "Tasks", true}, {"", "Logon", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CategoryChosen(c.letters, c.category), c.chosen) << c.letters << " / " << c.category;
  }
  for (char letter : std::string_view("bcdeghiklmnoprstw*")) {
    EXPECT_TRUE(std::holds_alternative<ConsoleOptions>(ParseConsoleArguments({"-a", std::string(1, letter)})))
        << letter;
  }
}

}  // namespace
}  // namespace vq
