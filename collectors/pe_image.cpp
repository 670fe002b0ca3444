#include "collectors/pe_image.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "collectors/ordinal_names.h"
#include "platform/text.h"

namespace vq {

namespace {

// Limits of the common PE tools, so that import hashes match theirs and a
// hostile image costs bounded time and memory.
constexpr std::size_t kMaxSections = 0x800;
constexpr int kMaxImportSymbols = 0x2000;  // thunks walked over all lookup and address tables
constexpr std::size_t kMaxNameLength = 0x200;
constexpr int kMaxRepeatedAddresses = 15;
constexpr std::uint64_t kMaxAddressSpread = 128 << 20;
constexpr int kMaxEmptyDescriptors = 5;
constexpr std::size_t kMaxResourceEntries = 0x8000;

constexpr std::uint16_t kPe32 = 0x10b;
constexpr std::uint16_t kPe32Plus = 0x20b;
constexpr std::uint32_t kVersionResource = 16;
constexpr std::size_t kDescriptorSize = 20;

// A little-endian field; nullopt when it does not lie wholly inside the bytes.
template <typename T>
std::optional<T> Read(std::string_view bytes, std::uint64_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return std::nullopt;
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    const auto byte = static_cast<T>(static_cast<unsigned char>(bytes[offset + i]));
    value = static_cast<T>(value | static_cast<T>(byte << 8 * i));
  }
  return value;
}

// A field that is not there reads as 0.
std::uint16_t U16(std::string_view bytes, std::uint64_t offset) {
  return Read<std::uint16_t>(bytes, offset).value_or(0);
}
std::uint32_t U32(std::string_view bytes, std::uint64_t offset) {
  return Read<std::uint32_t>(bytes, offset).value_or(0);
}

// The bytes from `offset` on, none when it lies past the end.
std::string_view From(std::string_view bytes, std::uint64_t offset) {
  return offset < bytes.size() ? bytes.substr(offset) : std::string_view();
}

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

bool IsAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool AllOf(std::string_view text, std::string_view allowedPunctuation) {
  return std::all_of(text.begin(), text.end(), [&](char c) {
    return IsAsciiAlnum(c) || allowedPunctuation.find(c) != std::string_view::npos;
  });
}

// The common tools take a name with other characters for garbage: a function
// name is left out, a module name becomes "*invalid*".
bool IsFunctionName(std::string_view name) { return AllOf(name, "._?@$()<>"); }
bool IsModuleName(std::string_view name) { return AllOf(name, "!#$%&'()-@^_`{}~+,.;=[]\\/"); }

struct Section {
  std::uint64_t declaredAddress = 0;  // as the header gives it, which orders the sections
  std::uint64_t address = 0;          // rounded down to the section alignment, as the loader does
  std::uint64_t mappedSize = 0;
  std::uint64_t rawPointer = 0;
  std::uint64_t rawOffset = 0;  // rounded down to 0x200, as the loader does
  std::uint64_t rawEnd = 0;     // where the section's bytes in the file end
};

struct DirectoryEntry {
  std::uint32_t rva = 0, size = 0;
};

// The headers of a PE image and the mapping of its RVAs to file offsets.
// The mapping follows the common PE tools, so that what they read is read.
class Image {
 public:
  static std::optional<Image> Parse(std::string_view file);

  std::uint64_t optionalHeader() const { return optionalHeader_; }
  bool pe32Plus() const { return pe32Plus_; }
  std::uint64_t directoryOffset(int index) const { return directories_ + 8 * static_cast<std::uint64_t>(index); }
  std::optional<DirectoryEntry> Directory(int index) const;

  // The bytes at an RVA, up to where the file holds that part of the image;
  // nullopt for an RVA that maps nowhere.
  std::optional<std::string_view> Bytes(std::uint64_t rva) const;
  std::optional<std::uint64_t> Offset(std::uint64_t rva) const;
  // A NUL-terminated ASCII text at an RVA, at most `maxLength` bytes.
  std::string_view TextAt(std::uint64_t rva, std::size_t maxLength) const;

 private:
  void ParseSections(std::uint64_t table, std::uint16_t count, std::uint32_t fileAlignment,
                     std::uint32_t sectionAlignment);
  const Section* SectionOf(std::uint64_t rva) const;

  std::string_view file_;
  std::uint64_t optionalHeader_ = 0, directories_ = 0, directoryCount_ = 0, headerSize_ = 0;
  bool pe32Plus_ = false;
  std::vector<Section> sections_;
};

std::optional<Image> Image::Parse(std::string_view file) {
  if (file.size() < 64 || !file.starts_with("MZ")) return std::nullopt;
  const std::uint64_t peHeader = U32(file, 0x3c);
  if (peHeader > file.size() || file.substr(peHeader, 4) != std::string_view("PE\0\0", 4)) return std::nullopt;
  Image image;
  image.file_ = file;
  const std::uint64_t fileHeader = peHeader + 4;
  image.optionalHeader_ = fileHeader + 20;
  const auto magic = Read<std::uint16_t>(file, image.optionalHeader_);
  if (magic != kPe32 && magic != kPe32Plus) return std::nullopt;
  image.pe32Plus_ = magic == kPe32Plus;
  image.directories_ = image.optionalHeader_ + (image.pe32Plus_ ? 112 : 96);
  // The checksum and the directory count must be there: without them nothing
  // about the image can be told.
  const auto directoryCount = Read<std::uint32_t>(file, image.directories_ - 4);
  if (!directoryCount) return std::nullopt;
  // Data directories beyond the 16 defined ones mean nothing.
  image.directoryCount_ = std::min<std::uint64_t>(*directoryCount & 0x7fffffff, 16);
  image.ParseSections(image.optionalHeader_ + U16(file, fileHeader + 16), U16(file, fileHeader + 2),
                      U32(file, image.optionalHeader_ + 36), U32(file, image.optionalHeader_ + 32));
  return image;
}

std::optional<DirectoryEntry> Image::Directory(int index) const {
  if (static_cast<std::uint64_t>(index) >= directoryCount_) return std::nullopt;
  const auto rva = Read<std::uint32_t>(file_, directoryOffset(index));
  const auto size = Read<std::uint32_t>(file_, directoryOffset(index) + 4);
  if (!rva || !size) return std::nullopt;
  return DirectoryEntry{*rva, *size};
}

// The section table as the common tools read it: it ends early at an empty or
// cut-off header, or at one with too many signs of being made up.
void Image::ParseSections(std::uint64_t table, std::uint16_t count, std::uint32_t fileAlignment,
                          std::uint32_t sectionAlignment) {
  const std::uint64_t size = file_.size();
  const std::uint64_t alignment = sectionAlignment < 0x1000 ? fileAlignment : sectionAlignment;
  for (std::size_t i = 0; i < std::min<std::size_t>(count, kMaxSections); ++i) {
    const std::uint64_t at = table + 40 * i;
    if (at > size || size - at < 40) break;
    const std::string_view header = file_.substr(at, 40);
    if (header.find_first_not_of('\0') == std::string_view::npos) break;
    const std::uint64_t virtualSize = U32(header, 8), address = U32(header, 12);
    const std::uint64_t rawSize = U32(header, 16), rawPointer = U32(header, 20);
    Section section;
    section.declaredAddress = address;
    section.rawPointer = rawPointer;
    section.address = alignment != 0 ? address - address % alignment : address;
    section.rawOffset = fileAlignment < 0x200 ? rawPointer : rawPointer - rawPointer % 0x200;
    section.rawEnd = rawPointer + rawSize;
    const int doubts = (section.rawEnd > size) + (section.rawOffset > size) + (virtualSize > 0x10000000) +
                       (section.address > 0x10000000) + (fileAlignment != 0 && rawPointer % fileAlignment != 0);
    if (doubts >= 3) break;
    // A section whose file bytes are cut short maps only its declared memory size.
    const bool cutShort = size - std::min(size, section.rawOffset) < rawSize;
    section.mappedSize = cutShort ? virtualSize : std::max(rawSize, virtualSize);
    sections_.push_back(section);
  }
  std::stable_sort(sections_.begin(), sections_.end(),
                   [](const Section& a, const Section& b) { return a.declaredAddress < b.declaredAddress; });
  // A section ends where the next one starts.
  for (std::size_t i = 0; i + 1 < sections_.size(); ++i) {
    Section& section = sections_[i];
    const std::uint64_t next = sections_[i + 1].declaredAddress;
    if (next > section.declaredAddress && section.address + section.mappedSize > next) {
      section.mappedSize = next > section.address ? next - section.address : 0;
    }
  }
  // The headers reach to the end of the section table or to the first section's bytes.
  headerSize_ = sections_.empty() ? table : table + 40 * static_cast<std::uint64_t>(count);
  std::optional<std::uint64_t> lowest;
  for (const Section& section : sections_) {
    if (section.rawPointer != 0 && (!lowest || section.rawOffset < *lowest)) lowest = section.rawOffset;
  }
  headerSize_ = std::max(headerSize_, lowest.value_or(0));
}

const Section* Image::SectionOf(std::uint64_t rva) const {
  for (const Section& section : sections_) {
    if (rva >= section.address && rva - section.address < section.mappedSize) return &section;
  }
  return nullptr;
}

std::optional<std::string_view> Image::Bytes(std::uint64_t rva) const {
  if (const Section* section = SectionOf(rva)) {
    const std::uint64_t offset = rva - section->address + section->rawOffset;
    const std::uint64_t end = std::min<std::uint64_t>(section->rawEnd, file_.size());
    return offset < end ? file_.substr(offset, end - offset) : std::string_view();
  }
  // Outside every section an RVA is read at the same offset in the file: in the
  // headers, as the loader maps them, and beyond, as the common tools do.
  const std::uint64_t headerEnd = std::min<std::uint64_t>(headerSize_, file_.size());
  if (rva < headerEnd) return file_.substr(rva, headerEnd - rva);
  if (rva < file_.size()) return file_.substr(rva);
  return std::nullopt;
}

std::optional<std::uint64_t> Image::Offset(std::uint64_t rva) const {
  if (const Section* section = SectionOf(rva)) return rva - section->address + section->rawOffset;
  if (rva < file_.size()) return rva;
  return std::nullopt;
}

std::string_view Image::TextAt(std::uint64_t rva, std::size_t maxLength) const {
  std::string_view bytes;
  if (SectionOf(rva)) {
    bytes = Bytes(rva).value_or(std::string_view());
  } else {
    bytes = From(file_, rva);
  }
  return UpToNul(bytes.substr(0, maxLength));
}

// ---- Imports ----

struct Import {
  bool byOrdinal = false;
  std::uint16_t ordinal = 0;
  std::string name;
};

// The RVAs a thunk table points to, with the range they spread over.
class AddressSet {
 public:
  // False when the address was seen before.
  bool Add(std::uint64_t address) {
    low_ = seen_.empty() ? address : std::min(low_, address);
    high_ = seen_.empty() ? address : std::max(high_, address);
    return seen_.insert(address).second;
  }
  std::uint64_t Spread() const { return high_ - low_; }

 private:
  std::set<std::uint64_t> seen_;
  std::uint64_t low_ = 0, high_ = 0;
};

struct ThunkFormat {
  std::uint64_t size, ordinalFlag;
};

// The entries of an import lookup or address table, up to its zero entry.
// A table that points into itself ends there; one that looks made up (many
// repeated addresses, addresses spread far apart, an ordinal too large)
// counts as empty, as the common tools count it.
std::vector<std::uint64_t> ThunkTable(const Image& image, std::uint64_t start, std::int64_t maxLength,
                                      const ThunkFormat& format, int& walked) {
  std::vector<std::uint64_t> table;
  int repeated = 0;
  AddressSet low, high;
  for (std::uint64_t rva = start; rva != 0; rva += format.size) {
    if (static_cast<std::int64_t>(rva) >= static_cast<std::int64_t>(start) + maxLength) break;
    if (walked > kMaxImportSymbols) break;
    ++walked;
    if (repeated >= kMaxRepeatedAddresses) return {};
    if (low.Spread() > kMaxAddressSpread || high.Spread() > kMaxAddressSpread) return {};
    const auto bytes = image.Bytes(rva);
    if (!bytes || bytes->size() < format.size) return {};
    const std::uint64_t value = format.size == 8 ? *Read<std::uint64_t>(*bytes, 0) : *Read<std::uint32_t>(*bytes, 0);
    if (value >= start && value <= rva) break;
    if (value == 0) break;
    if (value & format.ordinalFlag) {
      if ((value & 0x7fffffff) > 0xffff) return {};
    } else if (!(value >= (std::uint64_t{1} << 32) ? high : low).Add(value)) {
      ++repeated;
    }
    table.push_back(value);
  }
  return table;
}

// The imports of one descriptor: from its lookup table, or its address table
// when the lookup table has nothing. Empty when the common tools give up on
// the module.
std::vector<Import> ModuleImports(const Image& image, std::uint32_t lookupTable, std::uint32_t addressTable,
                                  std::int64_t maxLength, int& walked) {
  const ThunkFormat format = image.pe32Plus() ? ThunkFormat{8, std::uint64_t{1} << 63} : ThunkFormat{4, 1u << 31};
  const std::vector<std::uint64_t> lookups = ThunkTable(image, lookupTable, maxLength, format, walked);
  const std::vector<std::uint64_t> addresses = ThunkTable(image, addressTable, maxLength, format, walked);
  const std::vector<std::uint64_t>& table = lookups.empty() ? addresses : lookups;
  std::vector<Import> imports;
  std::size_t invalid = 0;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::uint64_t value = table[i];
    if (value & format.ordinalFlag) {
      const auto ordinal = static_cast<std::uint16_t>(value & 0xffff);
      if (ordinal != 0) imports.push_back({true, ordinal, {}});
      continue;
    }
    if (!image.Bytes(value)) return {};  // a name nowhere in the file: the table is garbage
    const std::string_view name = image.TextAt(value + 2, kMaxNameLength);  // after the 2-byte hint
    if (!IsFunctionName(name)) {
      // Garbage names among good ones are skipped; a table of nothing else is dropped.
      if (invalid > 1000 && invalid == i) return {};
      ++invalid;
      continue;
    }
    if (!name.empty()) imports.push_back({false, 0, std::string(name)});
  }
  return imports;
}

// "kernel32" for "KERNEL32.dll": lower case, without the extensions the hash leaves out.
std::string HashModuleName(std::string_view module) {
  std::string name = AsciiLower(module);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) {
    const std::string_view extension = std::string_view(name).substr(dot + 1);
    if (extension == "dll" || extension == "ocx" || extension == "sys") name.erase(dot);
  }
  return name;
}

// ---- Version resource ----

constexpr std::uint32_t kHighBit = 0x80000000;

// A resource directory entry: a name (an ID when the high bit is clear) and
// where it leads (a subdirectory when the high bit is set, else a data entry),
// as an offset from the start of the resource directory.
struct ResourceEntry {
  std::uint32_t name = 0, target = 0;
  bool leadsToDirectory() const { return (target & kHighBit) != 0; }
  std::uint32_t offset() const { return target & ~kHighBit; }
};

// The entries of the resource directory at an RVA: a 16-byte header with the
// counts of named and numbered entries, then the entries, 8 bytes each.
std::vector<ResourceEntry> ResourceEntries(const Image& image, std::uint64_t rva) {
  const std::string_view bytes = image.Bytes(rva).value_or(std::string_view());
  const std::size_t count = std::min<std::size_t>(std::size_t{U16(bytes, 12)} + U16(bytes, 14), kMaxResourceEntries);
  std::vector<ResourceEntry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    const auto name = Read<std::uint32_t>(bytes, 16 + 8 * i), target = Read<std::uint32_t>(bytes, 20 + 8 * i);
    if (!name || !target) break;
    entries.push_back({*name, *target});
  }
  return entries;
}

// Where the version resource's bytes are: type 16, its first name, that
// name's first language.
std::optional<DirectoryEntry> VersionResource(const Image& image) {
  const std::optional<DirectoryEntry> directory = image.Directory(2);
  if (!directory || directory->rva == 0) return std::nullopt;
  const std::uint64_t root = directory->rva;
  const std::vector<ResourceEntry> types = ResourceEntries(image, root);
  const auto type = std::find_if(types.begin(), types.end(), [](const ResourceEntry& entry) {
    return entry.name == kVersionResource && entry.leadsToDirectory();
  });
  if (type == types.end()) return std::nullopt;
  const std::vector<ResourceEntry> names = ResourceEntries(image, root + type->offset());
  if (names.empty() || !names.front().leadsToDirectory()) return std::nullopt;
  const std::vector<ResourceEntry> languages = ResourceEntries(image, root + names.front().offset());
  if (languages.empty() || languages.front().leadsToDirectory()) return std::nullopt;
  const auto data = image.Bytes(root + languages.front().offset());
  if (!data || data->size() < 8) return std::nullopt;
  return DirectoryEntry{U32(*data, 0), U32(*data, 4)};
}

// A block of VS_VERSIONINFO: wLength, wValueLength, wType, a NUL-terminated
// UTF-16 key, then its value and its children, each starting on a 4-byte
// boundary of the image.
struct VersionBlock {
  std::string key;
  std::string_view value;  // as far as the block holds it
  std::size_t children = 0, end = 0, next = 0;
};

class VersionReader {
 public:
  VersionReader(std::string_view bytes, std::uint64_t rva) : bytes_(bytes), misalign_(rva % 4) {}

  // The block at `at`, which its parent ends at `limit`; nullopt for one too short to be a block.
  std::optional<VersionBlock> BlockAt(std::size_t at, std::size_t limit) const {
    const std::uint16_t length = U16(bytes_, at);
    if (length < 6 || at > limit || limit - at < 6) return std::nullopt;
    VersionBlock block;
    block.end = std::min<std::size_t>(at + length, limit);
    block.next = Align(at + length);
    std::size_t keyEnd = at + 6;
    while (keyEnd + 2 <= block.end && U16(bytes_, keyEnd) != 0) keyEnd += 2;
    block.key = Utf16LeToUtf8(bytes_.substr(at + 6, keyEnd - (at + 6)));
    const std::size_t value = std::min(Align(keyEnd + 2), block.end);
    // Text values count their length in UTF-16 code units, others in bytes.
    const std::size_t valueSize = U16(bytes_, at + 2) * std::size_t{U16(bytes_, at + 4) == 1 ? 2u : 1u};
    block.value = bytes_.substr(value, std::min(valueSize, block.end - value));
    block.children = std::min(Align(value + valueSize), block.end);
    return block;
  }

  std::vector<VersionBlock> Children(const VersionBlock& parent) const {
    std::vector<VersionBlock> children;
    for (std::size_t at = parent.children; at < parent.end;) {
      std::optional<VersionBlock> child = BlockAt(at, parent.end);
      if (!child) break;
      at = child->next;
      children.push_back(std::move(*child));
    }
    return children;
  }

 private:
  std::size_t Align(std::size_t at) const { return ((at + misalign_ + 3) & ~std::size_t{3}) - misalign_; }

  std::string_view bytes_;
  std::size_t misalign_;
};

// A String's text, up to its first NUL.
std::string TextOf(std::string_view value) {
  std::size_t units = 0;
  while (units * 2 + 1 < value.size() && (value[units * 2] != '\0' || value[units * 2 + 1] != '\0')) ++units;
  return Utf16LeToUtf8(value.substr(0, units * 2));
}

// The StringTable key the first Translation entry names: language and code page as 8 hex digits.
std::optional<std::string> TranslationKey(const VersionReader& reader, const VersionBlock& varFileInfo) {
  for (const VersionBlock& var : reader.Children(varFileInfo)) {
    if (!EqualsIgnoringCase(var.key, "Translation") || var.value.size() < 4) continue;
    const std::uint32_t languageAndCodePage = U32(var.value, 0);
    constexpr char kHex[] = "0123456789abcdef";
    std::string key(8, '0');
    // The language (the low word) comes first.
    const std::uint32_t ordered = (languageAndCodePage << 16) | (languageAndCodePage >> 16);
    for (std::size_t i = 0; i < 8; ++i) key[i] = kHex[(ordered >> (28 - 4 * i)) & 0xf];
    return key;
  }
  return std::nullopt;
}

std::optional<VersionTexts> ParseVersionInfo(std::string_view bytes, std::uint64_t rva) {
  const VersionReader reader(bytes, rva);
  const std::optional<VersionBlock> root = reader.BlockAt(0, bytes.size());
  if (!root || root->key != "VS_VERSION_INFO") return std::nullopt;
  std::vector<VersionBlock> tables;
  std::optional<std::string> translation;
  for (const VersionBlock& info : reader.Children(*root)) {
    if (EqualsIgnoringCase(info.key, "StringFileInfo")) {
      for (VersionBlock& table : reader.Children(info)) tables.push_back(std::move(table));
    } else if (EqualsIgnoringCase(info.key, "VarFileInfo") && !translation) {
      translation = TranslationKey(reader, info);
    }
  }
  VersionTexts texts;
  if (tables.empty()) return texts;
  auto table = std::find_if(tables.begin(), tables.end(), [&](const VersionBlock& candidate) {
    return translation && EqualsIgnoringCase(candidate.key, *translation);
  });
  if (table == tables.end()) table = tables.begin();
  // The first of each name counts, as the system's own lookup finds it.
  std::optional<std::string> description, company, version;
  for (const VersionBlock& string : reader.Children(*table)) {
    std::optional<std::string>* text = EqualsIgnoringCase(string.key, "FileDescription") ? &description
                                       : EqualsIgnoringCase(string.key, "CompanyName")   ? &company
                                       : EqualsIgnoringCase(string.key, "FileVersion")   ? &version
                                                                                         : nullptr;
    if (text && !*text) *text = TextOf(string.value);
  }
  return VersionTexts{description.value_or(""), company.value_or(""), version.value_or("")};
}

}  // namespace

std::optional<std::string> ImportHashText(std::string_view file) {
  const std::optional<Image> image = Image::Parse(file);
  if (!image) return std::nullopt;
  const std::optional<DirectoryEntry> directory = image->Directory(1);
  if (!directory || directory->rva == 0) return std::nullopt;

  // Every descriptor walks at least one thunk or counts as empty, so the
  // limits on both end the walk.
  std::string text;
  bool any = false;
  int walked = 0, empty = 0;
  for (std::uint64_t rva = directory->rva;; rva += kDescriptorSize) {
    const auto bytes = image->Bytes(rva);
    if (!bytes || bytes->size() < kDescriptorSize) break;
    const std::string_view descriptor = bytes->substr(0, kDescriptorSize);
    if (descriptor.find_first_not_of('\0') == std::string_view::npos) break;
    const std::uint32_t lookupTable = U32(descriptor, 0), nameRva = U32(descriptor, 12);
    const std::uint32_t addressTable = U32(descriptor, 16);
    // Thunk tables that lie before the next descriptor cannot run past it.
    const auto next = static_cast<std::int64_t>(rva + kDescriptorSize);
    std::int64_t maxLength = static_cast<std::int64_t>(file.size() - image->Offset(rva).value_or(0));
    if (next > lookupTable || next > addressTable) maxLength = std::max(next - lookupTable, next - addressTable);

    const std::vector<Import> imports = ModuleImports(*image, lookupTable, addressTable, maxLength, walked);
    if (empty > kMaxEmptyDescriptors) break;
    if (imports.empty()) {
      ++empty;
      continue;
    }
    std::string module(image->TextAt(nameRva, kMaxNameLength));
    if (!IsModuleName(module)) module = "*invalid*";
    if (module.empty()) continue;
    const std::string prefix = HashModuleName(module) + ".";
    for (const Import& import : imports) {
      if (any) text += ',';
      any = true;
      text += prefix + AsciiLower(import.byOrdinal ? OrdinalName(AsciiLower(module), import.ordinal) : import.name);
    }
  }
  if (!any) return std::nullopt;
  return text;
}

std::optional<std::vector<ByteRange>> AuthenticodeRanges(std::string_view file) {
  const std::optional<Image> image = Image::Parse(file);
  if (!image) return std::nullopt;
  std::vector<ByteRange> excluded = {{static_cast<std::size_t>(image->optionalHeader() + 64), 4}};
  // A count below 5 leaves no certificate-table entry to skip.
  if (U32(file, image->directoryOffset(0) - 4) >= 5) {
    const std::uint64_t entry = image->directoryOffset(4);
    const auto offset = Read<std::uint32_t>(file, entry);
    const auto size = Read<std::uint32_t>(file, entry + 4);
    if (!offset || !size) return std::nullopt;
    excluded.push_back({static_cast<std::size_t>(entry), 8});
    if (*size != 0 && std::uint64_t{*offset} + *size <= file.size()) excluded.push_back({*offset, *size});
  }
  std::sort(excluded.begin(), excluded.end(),
            [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
  std::vector<ByteRange> ranges;
  std::size_t at = 0;
  for (const ByteRange& cut : excluded) {
    if (cut.offset > at) ranges.push_back({at, cut.offset - at});
    at = std::max(at, cut.offset + cut.length);
  }
  if (at < file.size()) ranges.push_back({at, file.size() - at});
  return ranges;
}

std::optional<VersionTexts> VersionTextsOf(std::string_view file) {
  const std::optional<Image> image = Image::Parse(file);
  if (!image) return std::nullopt;
  const std::optional<DirectoryEntry> resource = VersionResource(*image);
  if (!resource) return std::nullopt;
  const std::optional<std::uint64_t> offset = image->Offset(resource->rva);
  if (!offset) return std::nullopt;
  return ParseVersionInfo(From(file, *offset).substr(0, resource->size), resource->rva);
}

}  // namespace vq
