#include "app/console_options.h"

#include <gtest/gtest.h>

#include "app/console_categories.h"

namespace vq {
namespace {

// What a command line should come to; the fields left at their defaults are not listed.
struct Expected {
  std::string categories = "l";
  OutputFormat format = OutputFormat::Plain;
  bool hashes = false, signatures = false, utcTimes = false, noBanner = false, virusTotal = false;
  std::optional<std::string> user = std::nullopt, outputFile = std::nullopt;
};

TEST(ConsoleOptions, FleetCommandLinesParse) {
  struct Case {
    std::vector<std::string> args;
    Expected expected;
  };
  const Case cases[] = {
      // Velociraptor, with and without signatures (an empty argument in their place).
      {{"-nobanner", "-accepteula", "-t", "-a", "*", "-s", "-c", "-h", "*"},
       {.categories = "*", .format = OutputFormat::Csv, .hashes = true, .signatures = true, .utcTimes = true,
        .noBanner = true, .user = "*"}},
      {{"-nobanner", "-accepteula", "-t", "-a", "*", "", "-c", "-h", "*"},
       {.categories = "*", .format = OutputFormat::Csv, .hashes = true, .utcTimes = true, .noBanner = true,
        .user = "*"}},
      // Velociraptor's older artifact splits a text that ends in a line end.
      {{"-nobanner", "-accepteula", "-t", "-a", "*", "-c", "*\n"},
       {.categories = "*", .format = OutputFormat::Csv, .utcTimes = true, .noBanner = true, .user = "*"}},
      {{"-nobanner", "-accepteula", "-t", "-a", "*B", "-c", "-h", "*"},
       {.categories = "*b", .format = OutputFormat::Csv, .hashes = true, .utcTimes = true, .noBanner = true,
        .user = "*"}},
      // Kansa and its forks, Wazuh.
      {{"/accepteula", "-a", "*", "-c", "-h", "-s", "*"},
       {.categories = "*", .format = OutputFormat::Csv, .hashes = true, .signatures = true, .user = "*"}},
      {{"/accepteula", "-a", "*", "-c", "-h", "-s", "*", "-nobanner"},
       {.categories = "*", .format = OutputFormat::Csv, .hashes = true, .signatures = true, .noBanner = true,
        .user = "*"}},
      {{"/accepteula", "-a", "*", "-c", "-h", "-vt", "-v", "-m", "-s", "*"},
       {.categories = "*", .format = OutputFormat::Csv, .hashes = true, .signatures = true, .virusTotal = true,
        .user = "*"}},
      {{"-nobanner", "/accepteula", "-a", "*", "-c", "-h", "-s", "-v", "-vt"},
       {.categories = "*", .format = OutputFormat::Csv, .hashes = true, .signatures = true, .noBanner = true,
        .virusTotal = true}},
      // KAPE.
      {{"-a", "*", "-s", "-c", "-accepteula", "-nobanner", "-h", "*"},
       {.categories = "*", .format = OutputFormat::Csv, .hashes = true, .signatures = true, .noBanner = true,
        .user = "*"}},
      // DFIR-ORC, as CSV and as XML.
      {{"-accepteula", "-c", "-h", "-s", "-t", "-a", "*", "*"},
       {.categories = "*", .format = OutputFormat::Csv, .hashes = true, .signatures = true, .utcTimes = true,
        .user = "*"}},
      {{"/accepteula", "-t", "-h", "-x", "-a", "*"},
       {.categories = "*", .format = OutputFormat::Xml, .hashes = true, .utcTimes = true}},
      // A person at a console.
      {{"-c", "-h", "-s", "*", "-o", "C:\\out\\autoruns.csv"},
       {.format = OutputFormat::Csv, .hashes = true, .signatures = true, .user = "*",
        .outputFile = "C:\\out\\autoruns.csv"}},
      {{}, {}},
      {{"/CT", "-A", "SL", "Jo Smith "}, {.categories = "sl", .format = OutputFormat::Tab, .user = "Jo Smith"}},
      {{"-j", "-vrs"}, {.format = OutputFormat::JsonLines, .virusTotal = true}},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += "[" + arg + "] ";
    const auto parsed = ParseConsoleArguments(c.args);
    if (const auto* error = std::get_if<ConsoleUsageError>(&parsed)) {
      ADD_FAILURE() << line << "refused: " << error->message;
      continue;
    }
    const ConsoleOptions& options = std::get<ConsoleOptions>(parsed);
    const Expected& e = c.expected;
    EXPECT_EQ(options.categories, e.categories) << line;
    EXPECT_EQ(options.format, e.format) << line;
    EXPECT_EQ(options.hashes, e.hashes) << line;
    EXPECT_EQ(options.signatures, e.signatures) << line;
    EXPECT_EQ(options.utcTimes, e.utcTimes) << line;
    EXPECT_EQ(options.noBanner, e.noBanner) << line;
    EXPECT_EQ(options.virusTotal, e.virusTotal) << line;
    EXPECT_EQ(options.user, e.user) << line;
    EXPECT_EQ(options.outputFile, e.outputFile) << line;
  }
}

TEST(ConsoleOptions, CommandLinesItCannotFollowAreUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"-c", "-x"}, "Choose one output format: -c and -x were both given"},
      {{"-ct", "/C"}, "Choose one output format: -ct and -c were both given"},
      {{"-a"}, "-a needs '*' or category letters, such as -a * or -a lb"},
      {{"-a", "-c"}, "-a needs '*' or category letters, such as -a * or -a lb"},
      {{"-a", "lq"}, "-a needs '*' or category letters, such as -a * or -a lb"},
      {{"-a", "", "-c"}, "-a needs '*' or category letters, such as -a * or -a lb"},
      {{"-c", "-o"}, "-o needs a file name"},
      {{"-o", "-c"}, "-o needs a file name"},
      {{"-q"}, "Unknown switch: -q"},
      {{"-cx"}, "Unknown switch: -cx"},
      {{"-z", "D:\\Windows", "D:\\Users\\jo"},
       "-z (an offline system) is not supported: run the program on the system itself"},
      {{"*", "jo"}, "Name one user at most: \"*\" and \"jo\" were both given"},
  };
  for (const Case& c : cases) {
    const auto parsed = ParseConsoleArguments(c.args);
    const auto* error = std::get_if<ConsoleUsageError>(&parsed);
    ASSERT_NE(error, nullptr) << c.message;
    EXPECT_EQ(error->message, c.message);
  }
}

TEST(ConsoleOptions, CategoryLettersChooseTheirSources) {
  struct Case {
    std::string letters, category;
    bool chosen;
  };
  const Case cases[] = {
      {"l", "Logon", true},           {"l", "Services", false},      {"bs", "Services", true},
      {"bs", "Boot Execute", true},   {"d", "AppInit", true},        {"h", "Hijacks", true},
      {"*", "Hijacks", true},         {"b*", "Logon", true},         {"ckt", "Logon", false},
      {"lbdhs", "Known DLLs", false}, {"", "Logon", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CategoryChosen(c.letters, c.category), c.chosen) << c.letters << " / " << c.category;
  }
  for (char letter : std::string_view("bcdeghiklmnoprstw")) EXPECT_TRUE(IsCategoryLetter(letter)) << letter;
  for (char letter : std::string_view("afjquvxyz*-")) EXPECT_FALSE(IsCategoryLetter(letter)) << letter;
}

}  // namespace
}  // namespace vq
