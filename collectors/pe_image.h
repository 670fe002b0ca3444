#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

// Facts the console edition reports about the image an entry runs, read from
// the bytes of the whole file. Nothing here trusts the file: every read is
// bounds-checked and every walk has a limit, as images may be hostile.

struct ByteRange {
  std::size_t offset = 0, length = 0;
  bool operator==(const ByteRange&) const = default;
};

// The pieces of a PE image its Authenticode hash covers, in file order: the
// whole file except its checksum field (4 bytes in the optional header), its
// certificate-table directory entry (8 bytes, data directory index 4) and the
// certificate table itself (the file range that entry names, when it lies
// inside the file). Empty ranges are left out.
// nullopt for bytes that are no PE image: no "MZ", e_lfanew outside the file,
// no "PE\0\0", an optional header that is neither PE32 (0x10b) nor PE32+
// (0x20b), or headers cut short before the certificate-table entry
// (NumberOfRvaAndSizes < 5 means there is no such entry: then only the
// checksum is left out).
std::optional<std::vector<ByteRange>> AuthenticodeRanges(std::string_view file);

// The text whose MD5 (lower-case hex) is the image's import hash, as the
// common PE tools compute it: for each import descriptor in order, the module
// name lower-cased with a final ".dll", ".ocx" or ".sys" cut off, then "." and
// the function name lower-cased (for an import by ordinal, the name those
// tools give the ordinal), all joined with ",". Delay imports take no part.
// nullopt when the image has no import directory, or no usable descriptor in
// it, and for no PE image.
std::optional<std::string> ImportHashText(std::string_view file);

// The version resource's texts of the first language it lists.
struct VersionTexts {
  std::string description, company, version;  // FileDescription, CompanyName, FileVersion
  bool operator==(const VersionTexts&) const = default;
};
// nullopt when the image has no version resource (or is no PE image).
std::optional<VersionTexts> VersionTextsOf(std::string_view file);

}  // namespace vq
