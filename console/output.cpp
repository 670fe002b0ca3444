#include "console/output.h"

#include <cstdio>
#include <string_view>

#include "platform/text.h"

namespace vq {

// Who reads this output, and what each reader relies on:
//
// - Velociraptor runs the program with -c and reads the whole of stdout as
//   parse_csv(utf16(Stdout)): UTF-16LE, little-endian code units, with no
//   byte-order mark removed. The program writes one all the same (PowerShell,
//   which Kansa and KAPE decode through, needs it to take the bytes for
//   UTF-16): Velociraptor's current reader drops it, the older one names the
//   first column "\uFEFFTime" and reads every row as before. Its CSV reader takes no liberties with quotes (a
//   bare " inside an unquoted field stops the whole parse), and its older
//   reader stops at the first row whose field count differs from the
//   header's: every row here, a location's own row too, has exactly the
//   header's width. It also strips one leading space from a field and reads
//   true/false and numbers as typed values, and the older reader stops at a
//   field that starts with '{' or '[' and is no JSON; such a name is still
//   written as it is, since any other text would name another entry.
// - Kansa pipes the CSV into ConvertFrom-Csv and KAPE's module into
//   Set-Content as autoruns.csv: the header names become property names
//   ("Image Path", "Launch String" are read by name), so they are written
//   exactly as the fleet's parsers know them.
// - Wazuh's script removes the spaces from the header line before Import-Csv
//   and matches Entry, EntryLocation and VTdetection: the VT columns sit right
//   after Launch String, before the hashes.
// - DFIR-ORC keeps the CSV as it is, and reads -x output as UTF-16 from the
//   first '<' on: root element "autoruns", one "item" per entry, with the
//   child element names below (matched without letter case). A signer starting
//   "(Verified) " marks a verified file and an image path starting
//   "File not found: " has that prefix taken off.

namespace {

constexpr std::string_view kLineEnd = "\r\n";

enum class Quoting {
  Always,             // quoted even when empty: texts that may hold anything
  InEntryRowsOnly,    // the Entry Location: bare in a location's own row
  WhenNeeded,         // quoted only when it holds the separator, a quote or a line end
};

struct Column {
  std::string_view header;
  std::string ConsoleEntry::*field;  // null for the VirusTotal columns, which stay empty
  Quoting quoting;
  bool inLocationRow;                // a location's own row writes this field; the rest stay empty
};

constexpr Column kTime{"Time", &ConsoleEntry::time, Quoting::WhenNeeded, true};
constexpr Column kLeading[] = {
    kTime,
    {"Entry Location", &ConsoleEntry::location, Quoting::InEntryRowsOnly, true},
    {"Entry", &ConsoleEntry::entry, Quoting::Always, false},
    {"Enabled", &ConsoleEntry::enabled, Quoting::WhenNeeded, false},
    {"Category", &ConsoleEntry::category, Quoting::Always, true},
    {"Profile", &ConsoleEntry::profile, Quoting::WhenNeeded, true},
    {"Description", &ConsoleEntry::description, Quoting::Always, false},
};
constexpr Column kSigner[] = {{"Signer", &ConsoleEntry::signer, Quoting::Always, false}};
constexpr Column kFile[] = {
    {"Company", &ConsoleEntry::company, Quoting::Always, false},
    {"Image Path", &ConsoleEntry::imagePath, Quoting::Always, false},
    {"Version", &ConsoleEntry::version, Quoting::WhenNeeded, false},
    {"Launch String", &ConsoleEntry::launchString, Quoting::Always, false},
};
constexpr Column kVirusTotal[] = {
    {"VT detection", nullptr, Quoting::WhenNeeded, false},
    {"VT permalink", nullptr, Quoting::WhenNeeded, false},
};
constexpr Column kHashes[] = {
    {"MD5", &ConsoleEntry::md5, Quoting::WhenNeeded, false},
    {"SHA-1", &ConsoleEntry::sha1, Quoting::WhenNeeded, false},
    {"PESHA-1", &ConsoleEntry::pesha1, Quoting::WhenNeeded, false},
    {"PESHA-256", &ConsoleEntry::pesha256, Quoting::WhenNeeded, false},
    {"SHA-256", &ConsoleEntry::sha256, Quoting::WhenNeeded, false},
    {"IMP", &ConsoleEntry::imp, Quoting::WhenNeeded, false},
};

template <typename Visit>
void ForEachColumn(bool signatures, bool hashes, bool virusTotal, Visit visit) {
  for (const Column& column : kLeading) visit(column);
  if (signatures) {
    for (const Column& column : kSigner) visit(column);
  }
  for (const Column& column : kFile) visit(column);
  if (virusTotal) {
    for (const Column& column : kVirusTotal) visit(column);
  }
  if (hashes) {
    for (const Column& column : kHashes) visit(column);
  }
}

bool IsLocationRow(const ConsoleEntry& entry) { return entry.locationRow; }

// One field, quoted when asked or when its text could end it early: RFC 4180
// with the quote doubled inside. With tabs as separators a field holding a tab
// is quoted too, which is how PowerShell's Import-Csv -Delimiter "`t" and
// ConvertFrom-Csv read a delimiter inside a field; so no text of a name can
// make a row or a column of its own in either format.
void AppendField(std::string& out, std::string_view text, bool quote, char separator) {
  const std::string_view special = separator == '\t' ? std::string_view("\t,\"\r\n") : std::string_view(",\"\r\n");
  if (!quote && text.find_first_of(special) == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  out += ReplaceAll(text, "\"", "\"\"");
  out += '"';
}

// The text as UTF-16 code units, so that what cannot be written is judged
// character by character; back as UTF-8 with lone surrogates as U+FFFD.
template <typename Replace>
std::string MapCodeUnits(std::string_view text, Replace replace) {
  std::u16string units = Utf8ToUtf16(text);
  for (char16_t& unit : units) unit = replace(unit);
  return Utf16ToUtf8(units);
}

// Text an XML 1.0 document can hold: C0 controls other than tab, CR and LF,
// and U+FFFE/U+FFFF are no characters of XML and become U+FFFD.
std::string XmlText(std::string_view text) {
  const std::string valid = MapCodeUnits(text, [](char16_t unit) -> char16_t {
    const bool control = unit < 0x20 && unit != u'\t' && unit != u'\r' && unit != u'\n';
    return control || unit == 0xFFFE || unit == 0xFFFF ? char16_t{0xFFFD} : unit;
  });
  std::string out;
  out.reserve(valid.size());
  for (char c : valid) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\r': out += "&#13;"; break;  // a bare CR would be read back as LF
      default: out += c;
    }
  }
  return out;
}

// A JSON string: well-formed UTF-8 (a byte that starts no character becomes
// U+FFFD), quote and backslash escaped, every control character as \u00XX.
std::string JsonString(std::string_view text) {
  const std::string valid = MapCodeUnits(text, [](char16_t unit) { return unit; });
  std::string out = "\"";
  for (char c : valid) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

// Text for a person at a console: control characters show as their pictures
// (U+2400 …), as the item list shows them, so a name cannot break a line.
std::string ConsoleText(std::string_view text) {
  return MapCodeUnits(text, [](char16_t unit) -> char16_t {
    if (unit < 0x20) return static_cast<char16_t>(0x2400 + unit);
    return unit == 0x7F ? char16_t{0x2421} : unit;
  });
}

}  // namespace

ConsoleWriter::ConsoleWriter(OutputFormat format, bool signatures, bool hashes, bool virusTotal)
    : format_(format), signatures_(signatures), hashes_(hashes), virusTotal_(virusTotal) {}

std::string ConsoleWriter::Begin() const {
  switch (format_) {
    case OutputFormat::Csv:
    case OutputFormat::Tab: {
      const char separator = format_ == OutputFormat::Tab ? '\t' : ',';
      std::string header;
      ForEachColumn(signatures_, hashes_, virusTotal_, [&](const Column& column) {
        if (!header.empty()) header += separator;
        header += column.header;
      });
      return header + std::string(kLineEnd);
    }
    case OutputFormat::Xml:
      // The caller writes it as UTF-16LE, as the prolog says.
      return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<autoruns>\r\n";
    case OutputFormat::JsonLines:
    case OutputFormat::Plain:
      break;
  }
  return {};
}

std::string ConsoleWriter::Row(const ConsoleEntry& entry) const {
  switch (format_) {
    case OutputFormat::Csv:
    case OutputFormat::Tab: return SeparatedRow(entry);
    case OutputFormat::Xml: return IsLocationRow(entry) ? std::string() : XmlRow(entry);
    case OutputFormat::JsonLines: return IsLocationRow(entry) ? std::string() : JsonRow(entry);
    case OutputFormat::Plain: return PlainRow(entry);
  }
  return {};
}

std::string ConsoleWriter::End() const {
  return format_ == OutputFormat::Xml ? "</autoruns>\r\n" : std::string();
}

std::string ConsoleWriter::SeparatedRow(const ConsoleEntry& entry) const {
  const char separator = format_ == OutputFormat::Tab ? '\t' : ',';
  const bool locationRow = IsLocationRow(entry);
  std::string row;
  bool first = true;
  ForEachColumn(signatures_, hashes_, virusTotal_, [&](const Column& column) {
    if (!first) row += separator;
    first = false;
    if (column.field == nullptr || (locationRow && !column.inLocationRow)) return;  // an empty, bare field
    const bool quote =
        column.quoting == Quoting::Always || (column.quoting == Quoting::InEntryRowsOnly && !locationRow);
    AppendField(row, entry.*column.field, quote, separator);
  });
  return row + std::string(kLineEnd);
}

std::string ConsoleWriter::XmlRow(const ConsoleEntry& entry) const {
  // Every element is written, an empty one as <x></x>, in the order the
  // readers of this format know.
  static constexpr std::pair<std::string_view, std::string ConsoleEntry::*> kElements[] = {
      {"location", &ConsoleEntry::location},   {"itemname", &ConsoleEntry::entry},
      {"enabled", &ConsoleEntry::enabled},     {"launchstring", &ConsoleEntry::launchString},
      {"description", &ConsoleEntry::description}, {"company", &ConsoleEntry::company},
      {"signer", &ConsoleEntry::signer},       {"version", &ConsoleEntry::version},
      {"imagepath", &ConsoleEntry::imagePath}, {"time", &ConsoleEntry::time},
      {"profile", &ConsoleEntry::profile},     {"md5hash", &ConsoleEntry::md5},
      {"sha1hash", &ConsoleEntry::sha1},       {"sha256hash", &ConsoleEntry::sha256},
      {"pesha1hash", &ConsoleEntry::pesha1},   {"pesha256hash", &ConsoleEntry::pesha256},
      {"impHash", &ConsoleEntry::imp},
  };
  std::string item = "\t<item>\r\n";
  for (const auto& [name, field] : kElements) {
    item += "\t\t<";
    item += name;
    item += '>';
    item += XmlText(entry.*field);
    item += "</";
    item += name;
    item += ">\r\n";
  }
  return item + "\t</item>\r\n";
}

std::string ConsoleWriter::JsonRow(const ConsoleEntry& entry) const {
  static constexpr std::pair<std::string_view, std::string ConsoleEntry::*> kKeys[] = {
      {"time", &ConsoleEntry::time},         {"location", &ConsoleEntry::location},
      {"entry", &ConsoleEntry::entry},       {"enabled", &ConsoleEntry::enabled},
      {"category", &ConsoleEntry::category}, {"profile", &ConsoleEntry::profile},
      {"description", &ConsoleEntry::description}, {"signer", &ConsoleEntry::signer},
      {"company", &ConsoleEntry::company},   {"imagePath", &ConsoleEntry::imagePath},
      {"version", &ConsoleEntry::version},   {"launchString", &ConsoleEntry::launchString},
      {"md5", &ConsoleEntry::md5},           {"sha1", &ConsoleEntry::sha1},
      {"pesha1", &ConsoleEntry::pesha1},     {"pesha256", &ConsoleEntry::pesha256},
      {"sha256", &ConsoleEntry::sha256},     {"imp", &ConsoleEntry::imp},
  };
  std::string line = "{";
  for (const auto& [key, field] : kKeys) {
    line += JsonString(key) + ':' + JsonString(entry.*field) + ',';
  }
  line += "\"identity\":{";
  for (std::size_t i = 0; i < entry.identity.size(); ++i) {
    if (i > 0) line += ',';
    line += JsonString(entry.identity[i].first) + ':' + JsonString(entry.identity[i].second);
  }
  return line + "}}" + std::string(kLineEnd);
}

std::string ConsoleWriter::PlainRow(const ConsoleEntry& entry) const {
  // Each location starts with a blank line, which also parts the first from the banner.
  if (IsLocationRow(entry)) return "\r\n" + ConsoleText(entry.location) + "\r\n";
  std::string text = "  " + ConsoleText(entry.entry);
  if (entry.enabled == "disabled") text += "  (disabled)";
  text += kLineEnd;
  auto line = [&](std::string_view label, const std::string& value) {
    if (value.empty()) return;
    text += "    ";
    text += label;
    text += ConsoleText(value);
    text += kLineEnd;
  };
  line("", entry.description);
  if (signatures_) line("", entry.signer);
  line("", entry.launchString);
  line("", entry.imagePath);
  line("", entry.time);
  if (hashes_) {
    line("MD5:     ", entry.md5);
    line("SHA-1:   ", entry.sha1);
    line("SHA-256: ", entry.sha256);
  }
  return text;
}

}  // namespace vq
