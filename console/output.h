#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vq {

// One row of the console edition's list. A location's own row, which heads
// its entries, is marked as such (locationRow); its `entry` and `enabled` are empty.
struct ConsoleEntry {
  std::string time, location, entry, enabled, category, profile, description, signer, company, imagePath, version,
      launchString, md5, sha1, pesha1, pesha256, sha256, imp;
  // A location's own row, which heads its entries (an entry's name may be empty: a key's default value).
  bool locationRow = false;
  // What exactly the entry is (hive, key, value name …), in this order; written
  // only in JSON Lines, as the object "identity" whose values are strings.
  std::vector<std::pair<std::string, std::string>> identity;
};

enum class OutputFormat { Plain, Csv, Tab, Xml, JsonLines };

// Writes the list in one output format, as UTF-8 text with CRLF line ends.
// The caller turns the text into UTF-16LE bytes (CSV, tab-separated, XML),
// keeps it as UTF-8 (JSON Lines) or writes it to the console (plain).
class ConsoleWriter {
 public:
  ConsoleWriter(OutputFormat format, bool signatures, bool hashes, bool virusTotal);

  // What comes before the first row: the header line, or the XML prolog and root.
  std::string Begin() const;
  // One row; empty text for a location's own row in XML and JSON Lines.
  std::string Row(const ConsoleEntry& entry) const;
  // What comes after the last row.
  std::string End() const;

 private:
  std::string SeparatedRow(const ConsoleEntry& entry) const;
  std::string XmlRow(const ConsoleEntry& entry) const;
  std::string JsonRow(const ConsoleEntry& entry) const;
  std::string PlainRow(const ConsoleEntry& entry) const;

  OutputFormat format_;
  bool signatures_;
  bool hashes_;
  bool virusTotal_;
};

}  // namespace vq
