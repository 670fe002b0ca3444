#include "app/console_output.h"

#include <gtest/gtest.h>

#include "platform/text.h"

#include <algorithm>
#include <stdexcept>

namespace vq {
namespace {

using namespace std::string_literals;

using Records = std::vector<std::vector<std::string>>;

// A strict reader of RFC 4180 text with CRLF line ends: a field is bare (no
// quote, separator or line end in it) or quoted with its quotes doubled, and
// anything else is an error, as the strictest of the fleet's readers has it.
Records ReadSeparated(std::string_view text, char separator) {
  Records records;
  std::vector<std::string> record;
  std::size_t i = 0;
  while (i < text.size()) {
    std::string field;
    if (text[i] == '"') {
      for (++i;; ++i) {
        if (i == text.size()) throw std::runtime_error("unclosed quote");
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            ++i;
          } else {
            ++i;
            break;
          }
        } else {
          field += text[i];
        }
      }
    } else {
      while (i < text.size() && text[i] != separator && text[i] != '\r' && text[i] != '\n') {
        if (text[i] == '"') throw std::runtime_error("quote in a bare field");
        field += text[i++];
      }
    }
    record.push_back(field);
    if (i < text.size() && text[i] == separator) {
      ++i;
    } else if (text.substr(i, 2) == "\r\n") {
      i += 2;
      records.push_back(std::move(record));
      record.clear();
    } else {
      throw std::runtime_error("a field ends with neither a separator nor CRLF at " + std::to_string(i));
    }
  }
  if (!record.empty()) throw std::runtime_error("last line without CRLF");
  return records;
}

ConsoleEntry LocationRow() {
  ConsoleEntry row;
  row.time = "20230106-150455";
  row.location = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  row.category = "Logon";
  row.profile = "System-wide";
  return row;
}

// An entry whose texts try every way of ending a field or a row early.
ConsoleEntry TrickyEntry() {
  ConsoleEntry row = LocationRow();
  row.entry = "a,b\"c\r\nd\te";
  row.enabled = "enabled";
  row.description = "\"quoted\"";
  row.signer = "(Verified) Maker, Inc.";
  row.company = "Maker\tInc.";
  row.imagePath = "C:\\Program Files\\x,y\\app.exe";
  row.version = "1,2";
  row.launchString = "\"C:\\Program Files\\x,y\\app.exe\" /s\r\n2nd";
  row.md5 = "990D3C";
  row.imp = "tab\there";
  return row;
}

TEST(ConsoleOutput, SeparatedValuesReadBackWithTheHeadersWidthAndTheirValues) {
  for (const auto& [format, separator] : {std::pair{OutputFormat::Csv, ','}, std::pair{OutputFormat::Tab, '\t'}}) {
    const ConsoleWriter writer(format, true, true, true);
    const ConsoleEntry entry = TrickyEntry();
    const std::string text = writer.Begin() + writer.Row(LocationRow()) + writer.Row(entry) + writer.End();
    Records records;
    ASSERT_NO_THROW(records = ReadSeparated(text, separator)) << text;
    ASSERT_EQ(records.size(), 3u) << text;
    for (const auto& record : records) EXPECT_EQ(record.size(), 20u) << text;
    const std::vector<std::string> expected = {
        entry.time, entry.location, entry.entry, entry.enabled, entry.category, entry.profile, entry.description,
        entry.signer, entry.company, entry.imagePath, entry.version, entry.launchString, "", "", entry.md5, "", "",
        "", "", entry.imp};
    EXPECT_EQ(records[2], expected);
    EXPECT_EQ(records[1][1], entry.location);
    EXPECT_EQ(records[1][4], "Logon");
  }
}

TEST(ConsoleOutput, RowsAreQuotedAsTheFleetSamplesAre) {
  ConsoleEntry entry = LocationRow();
  entry.location = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\BootExecute";
  entry.category = "Boot Execute";
  const ConsoleWriter writer(OutputFormat::Csv, true, true, false);
  EXPECT_EQ(writer.Row(entry),
            "20230106-150455,HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\BootExecute,,,"
            "\"Boot Execute\",System-wide,,,,,,,,,,,,\r\n");
  entry.entry = "autocheck autochk *";
  entry.enabled = "enabled";
  entry.launchString = "autocheck autochk *";
  entry.imagePath = "c:\\windows\\system32\\autochk.exe";
  entry.version = "10.0.17763.1";
  entry.md5 = "990D";
  EXPECT_EQ(writer.Row(entry),
            "20230106-150455,\"HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\BootExecute\","
            "\"autocheck autochk *\",enabled,\"Boot Execute\",System-wide,\"\",\"\",\"\","
            "\"c:\\windows\\system32\\autochk.exe\",10.0.17763.1,\"autocheck autochk *\",990D,,,,,\r\n");
}

TEST(ConsoleOutput, HeadersAreThePublishedOnes) {
  struct Case {
    OutputFormat format;
    bool signatures, hashes, virusTotal;
    std::string header;
  };
  const Case cases[] = {
      {OutputFormat::Csv, false, false, false,
       "Time,Entry Location,Entry,Enabled,Category,Profile,Description,Company,Image Path,Version,Launch String"},
      {OutputFormat::Csv, true, false, false,
       "Time,Entry Location,Entry,Enabled,Category,Profile,Description,Signer,Company,Image Path,Version,"
       "Launch String"},
      {OutputFormat::Csv, true, true, false,
       "Time,Entry Location,Entry,Enabled,Category,Profile,Description,Signer,Company,Image Path,Version,"
       "Launch String,MD5,SHA-1,PESHA-1,PESHA-256,SHA-256,IMP"},
      {OutputFormat::Csv, false, true, false,
       "Time,Entry Location,Entry,Enabled,Category,Profile,Description,Company,Image Path,Version,"
       "Launch String,MD5,SHA-1,PESHA-1,PESHA-256,SHA-256,IMP"},
      {OutputFormat::Csv, true, true, true,
       "Time,Entry Location,Entry,Enabled,Category,Profile,Description,Signer,Company,Image Path,Version,"
       "Launch String,VT detection,VT permalink,MD5,SHA-1,PESHA-1,PESHA-256,SHA-256,IMP"},
      {OutputFormat::Tab, false, false, false,
       "Time\tEntry Location\tEntry\tEnabled\tCategory\tProfile\tDescription\tCompany\tImage Path\tVersion\t"
       "Launch String"},
  };
  for (const Case& c : cases) {
    const ConsoleWriter writer(c.format, c.signatures, c.hashes, c.virusTotal);
    EXPECT_EQ(writer.Begin(), c.header + "\r\n");
    // A location's row is as wide as the header.
    const std::string row = writer.Row(LocationRow());
    const char separator = c.format == OutputFormat::Tab ? '\t' : ',';
    EXPECT_EQ(std::count(row.begin(), row.end(), separator), std::count(c.header.begin(), c.header.end(), separator))
        << c.header;
  }
}

TEST(ConsoleOutput, XmlHoldsEveryTextAsEscapedCharacters) {
  const ConsoleWriter writer(OutputFormat::Xml, true, true, false);
  ConsoleEntry entry = TrickyEntry();
  entry.entry = "<item>&'x\"\x01\x1F\xEF\xBF\xBF\xEF\xBF\xBE\r\n";
  entry.company = "]]></company><evil/>";
  const std::string text = writer.Begin() + writer.Row(LocationRow()) + writer.Row(entry) + writer.End();
  EXPECT_TRUE(text.starts_with("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<autoruns>\r\n")) << text;
  EXPECT_TRUE(text.ends_with("</autoruns>\r\n")) << text;
  EXPECT_EQ(ReplaceAll(text, "<item>", "").size(), text.size() - 6) << "one item, the location row skipped\n" << text;
  EXPECT_NE(text.find("<itemname>&lt;item&gt;&amp;&apos;x&quot;\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                      "&#13;\n</itemname>"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("<company>]]&gt;&lt;/company&gt;&lt;evil/&gt;</company>"), std::string::npos) << text;
  // Outside the markup no '<' or '>' is left, and every element comes in the readers' order.
  const std::string names[] = {"location", "itemname",   "enabled",    "launchstring", "description", "company",
                               "signer",   "version",    "imagepath",  "time",         "profile",     "md5hash",
                               "sha1hash", "sha256hash", "pesha1hash", "pesha256hash", "impHash"};
  std::size_t at = text.find("<item>");
  for (const std::string& name : names) {
    const std::size_t open = text.find("<" + name + ">", at);
    ASSERT_NE(open, std::string::npos) << name;
    const std::size_t close = text.find("</" + name + ">", open);
    ASSERT_NE(close, std::string::npos) << name;
    const std::string inner = text.substr(open + name.size() + 2, close - open - name.size() - 2);
    EXPECT_EQ(inner.find_first_of("<>"), std::string::npos) << name << ": " << inner;
    at = close;
  }
}

TEST(ConsoleOutput, JsonLinesEscapeEveryTextAndKeepTheIdentityInOrder) {
  const ConsoleWriter writer(OutputFormat::JsonLines, false, false, false);
  ConsoleEntry entry = LocationRow();
  EXPECT_EQ(writer.Begin() + writer.Row(entry) + writer.End(), "") << "a location's own row is no object";
  entry.entry = "q\"b\\c\r\n\t\x01\x7F\xFF";
  entry.identity = {{"hive", "HKLM"}, {"key", "SOFTWARE\\Run"}, {"value", "x\x00y"s}};
  EXPECT_EQ(writer.Row(entry),
            "{\"time\":\"20230106-150455\",\"location\":\"HKLM\\\\SOFTWARE\\\\Microsoft\\\\Windows\\\\CurrentVersion"
            "\\\\Run\",\"entry\":\"q\\\"b\\\\c\\u000D\\u000A\\u0009\\u0001\x7F\xEF\xBF\xBD\",\"enabled\":\"\","
            "\"category\":\"Logon\",\"profile\":\"System-wide\",\"description\":\"\",\"signer\":\"\","
            "\"company\":\"\",\"imagePath\":\"\",\"version\":\"\",\"launchString\":\"\",\"md5\":\"\",\"sha1\":\"\","
            "\"pesha1\":\"\",\"pesha256\":\"\",\"sha256\":\"\",\"imp\":\"\","
            "\"identity\":{\"hive\":\"HKLM\",\"key\":\"SOFTWARE\\\\Run\",\"value\":\"x\\u0000y\"}}\r\n");
}

TEST(ConsoleOutput, PlainTextKeepsEachNameOnItsLine) {
  const ConsoleWriter writer(OutputFormat::Plain, false, false, false);
  ConsoleEntry entry = LocationRow();
  entry.entry = "two\r\nlines";
  entry.enabled = "disabled";
  entry.launchString = "app.exe /s";
  entry.imagePath = "C:\\app.exe";
  EXPECT_EQ(writer.Begin() + writer.Row(LocationRow()) + writer.Row(entry) + writer.End(),
            "\r\nHKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\r\n"
            "  two\xE2\x90\x8D\xE2\x90\x8Alines  (disabled)\r\n"
            "    app.exe /s\r\n"
            "    C:\\app.exe\r\n"
            "    20230106-150455\r\n");
}

}  // namespace
}  // namespace vq
