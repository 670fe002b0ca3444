#include "console/output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "platform/text.h"

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
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '"') {
      const std::size_t start = ++i;
      while ((i = text.find('"', i)) != std::string_view::npos && text.substr(i, 2) == "\"\"") i += 2;
      if (i == std::string_view::npos) throw std::runtime_error("unclosed quote");
      record.push_back(ReplaceAll(text.substr(start, i++ - start), "\"\"", "\""));
    } else {
      const std::size_t end = std::min(text.find_first_of(std::string{separator, '\r', '\n'}, i), text.size());
      record.emplace_back(text.substr(i, end - i));
      if (record.back().find('"') != std::string::npos) throw std::runtime_error("quote in a bare field");
      i = end;
    }
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
  row.locationRow = true;
  return row;
}

// An entry whose texts try every way of ending a field or a row early.
ConsoleEntry TrickyEntry() {
  ConsoleEntry row = LocationRow();
  row.locationRow = false;
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
    ConsoleEntry location = LocationRow();
    location.location = "HKCU\\Key,with\"quote\tand tab";
    const std::string text = writer.Begin() + writer.Row(location) + writer.Row(entry) + writer.End();
    Records records;
    ASSERT_NO_THROW(records = ReadSeparated(text, separator)) << text;
    ASSERT_EQ(records.size(), 3u) << text;
    for (const auto& record : records) EXPECT_EQ(record.size(), 20u) << text;
    const std::vector<std::string> expected = {
        entry.time, entry.location, entry.entry, entry.enabled, entry.category, entry.profile, entry.description,
        entry.signer, entry.company, entry.imagePath, entry.version, entry.launchString, "", "", entry.md5, "", "",
        "", "", entry.imp};
    EXPECT_EQ(records[2], expected);
    EXPECT_EQ(records[1][1], location.location);
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
  entry.locationRow = false;
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
  const std::string kBase = "Time,Entry Location,Entry,Enabled,Category,Profile,Description,";
  struct Case {
    bool signatures, hashes, virusTotal;
    std::string header;
  };
  const Case cases[] = {
      {false, false, false, kBase + "Company,Image Path,Version,Launch String"},
      {true, false, false, kBase + "Signer,Company,Image Path,Version,Launch String"},
      {true, true, false,
       kBase + "Signer,Company,Image Path,Version,Launch String,MD5,SHA-1,PESHA-1,PESHA-256,SHA-256,IMP"},
      {true, true, true,
       kBase + "Signer,Company,Image Path,Version,Launch String,VT detection,VT permalink,"
               "MD5,SHA-1,PESHA-1,PESHA-256,SHA-256,IMP"},
  };
  for (const Case& c : cases) {
    const ConsoleWriter writer(OutputFormat::Csv, c.signatures, c.hashes, c.virusTotal);
    EXPECT_EQ(writer.Begin(), c.header + "\r\n");
    const std::string row = writer.Row(LocationRow());  // as wide as the header
    EXPECT_EQ(std::count(row.begin(), row.end(), ','), std::count(c.header.begin(), c.header.end(), ','));
  }
}

TEST(ConsoleOutput, XmlHoldsEveryTextAsEscapedCharacters) {
  const ConsoleWriter writer(OutputFormat::Xml, true, true, false);
  ConsoleEntry entry = TrickyEntry();
  entry.entry = "<item>&'x\"\x01\x1F\xEF\xBF\xBF\xEF\xBF\xBE\r\n";
  entry.company = "]]></company><evil/>";
  entry.imp = std::string(1, 'I');  // GCC 12 takes a one-letter literal for an overlapping copy
  const std::string text = writer.Begin() + writer.Row(LocationRow()) + writer.Row(entry) + writer.End();
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<autoruns>\r\n\t<item>\r\n"
      "\t\t<location>HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run</location>\r\n"
      "\t\t<itemname>&lt;item&gt;&amp;&apos;x&quot;\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD&#13;\n"
      "</itemname>\r\n"
      "\t\t<enabled>enabled</enabled>\r\n"
      "\t\t<launchstring>&quot;C:\\Program Files\\x,y\\app.exe&quot; /s&#13;\n2nd</launchstring>\r\n"
      "\t\t<description>&quot;quoted&quot;</description>\r\n"
      "\t\t<company>]]&gt;&lt;/company&gt;&lt;evil/&gt;</company>\r\n"
      "\t\t<signer>(Verified) Maker, Inc.</signer>\r\n"
      "\t\t<version>1,2</version>\r\n"
      "\t\t<imagepath>C:\\Program Files\\x,y\\app.exe</imagepath>\r\n"
      "\t\t<time>20230106-150455</time>\r\n"
      "\t\t<profile>System-wide</profile>\r\n"
      "\t\t<md5hash>990D3C</md5hash>\r\n"
      "\t\t<sha1hash></sha1hash>\r\n\t\t<sha256hash></sha256hash>\r\n"
      "\t\t<pesha1hash></pesha1hash>\r\n\t\t<pesha256hash></pesha256hash>\r\n"
      "\t\t<impHash>I</impHash>\r\n"
      "\t</item>\r\n</autoruns>\r\n";
  EXPECT_EQ(text, expected);
}

TEST(ConsoleOutput, JsonLinesEscapeEveryTextAndKeepTheIdentityInOrder) {
  const ConsoleWriter writer(OutputFormat::JsonLines, false, false, false);
  ConsoleEntry entry = LocationRow();
  EXPECT_EQ(writer.Begin() + writer.Row(entry) + writer.End(), "") << "a location's own row is no object";
  entry.locationRow = false;
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

}  // namespace
}  // namespace vq
