#include "collectors/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <variant>

namespace vq {
namespace {

std::string Le(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> 8 * i & 0xff);
  return out;
}

std::string Utf16(std::u16string_view text) {
  std::string out;
  for (const char16_t unit : text) out += Le(unit, 2);
  return out;
}

std::string Pad4(std::string bytes) {
  bytes.resize((bytes.size() + 3) / 4 * 4, '\0');
  return bytes;
}

void Poke(std::string& file, std::size_t at, std::uint64_t value, int bytes) {
  file.replace(at, bytes, Le(value, bytes));
}

// A small image as a linker lays one out: headers in the first 0x200 bytes,
// then one section at RVA 0x1000 holding whatever the test puts there.
class TestImage {
 public:
  static constexpr std::size_t kOptionalHeader = 0x58, kChecksum = kOptionalHeader + 64;
  explicit TestImage(bool pe32Plus) : pe32Plus_(pe32Plus) {}

  std::uint32_t Put(std::string_view bytes) {
    const auto rva = static_cast<std::uint32_t>(0x1000 + section_.size());
    section_ = Pad4(section_ + std::string(bytes));
    return rva;
  }
  void SetDirectory(int index, std::uint32_t rva, std::uint32_t size) { directories_[index] = {rva, size}; }
  std::size_t DirectoryOffset(int index) const { return kOptionalHeader + (pe32Plus_ ? 112 : 96) + 8 * index; }
  bool pe32Plus() const { return pe32Plus_; }

  std::string Build(std::uint32_t directoryCount = 16) const {
    std::string file(0x200, '\0');
    file.replace(0, 2, "MZ");
    Poke(file, 0x3c, 0x40, 4);
    file.replace(0x40, 4, std::string_view("PE\0\0", 4));
    const std::size_t optionalSize = pe32Plus_ ? 240 : 224;
    Poke(file, 0x44, pe32Plus_ ? 0x8664 : 0x14c, 2);
    Poke(file, 0x46, 1, 2);
    Poke(file, 0x54, optionalSize, 2);
    Poke(file, kOptionalHeader, pe32Plus_ ? 0x20b : 0x10b, 2);
    Poke(file, kOptionalHeader + 32, 0x1000, 4);
    Poke(file, kOptionalHeader + 36, 0x200, 4);
    Poke(file, kOptionalHeader + 60, 0x200, 4);
    Poke(file, kChecksum, 0x12345678, 4);
    Poke(file, DirectoryOffset(0) - 4, directoryCount, 4);
    for (int i = 0; i < 16; ++i) {
      Poke(file, DirectoryOffset(i), directories_[i].first, 4);
      Poke(file, DirectoryOffset(i) + 4, directories_[i].second, 4);
    }
    const std::size_t header = kOptionalHeader + optionalSize;
    const std::size_t rawSize = (section_.size() + 0x1ff) / 0x200 * 0x200;
    file.replace(header, 5, ".data");
    Poke(file, header + 8, section_.size(), 4);
    Poke(file, header + 12, 0x1000, 4);
    Poke(file, header + 16, rawSize, 4);
    Poke(file, header + 20, 0x200, 4);
    std::string raw = section_;
    raw.resize(rawSize, '\0');
    return file + raw;
  }

 private:
  bool pe32Plus_;
  std::string section_;
  std::pair<std::uint32_t, std::uint32_t> directories_[16] = {};
};

using Imported = std::variant<std::string, std::uint16_t>;  // a name, or an ordinal
struct Module {
  std::string name;
  std::vector<Imported> imports;
  bool addressTableOnly = false;
};

void AddImports(TestImage& image, const std::vector<Module>& modules) {
  const int thunkSize = image.pe32Plus() ? 8 : 4;
  const std::uint64_t ordinalFlag = std::uint64_t{1} << (8 * thunkSize - 1);
  std::string descriptors;
  for (const Module& module : modules) {
    std::string thunks;
    for (const Imported& imported : module.imports) {
      const auto* ordinal = std::get_if<std::uint16_t>(&imported);
      thunks += Le(ordinal ? ordinalFlag | *ordinal : image.Put(Le(0, 2) + std::get<std::string>(imported) + '\0'),
                   thunkSize);
    }
    const std::uint32_t table = image.Put(thunks + Le(0, thunkSize));
    const std::uint32_t name = image.Put(module.name + '\0');
    descriptors += Le(module.addressTableOnly ? 0 : table, 4) + Le(0, 8) + Le(name, 4) + Le(table, 4);
  }
  descriptors += std::string(20, '\0');
  image.SetDirectory(1, image.Put(descriptors), static_cast<std::uint32_t>(descriptors.size()));
}

// A VS_VERSIONINFO block: wLength, wValueLength, wType, key, value, children.
std::string Block(std::u16string_view key, std::string_view value, std::size_t valueLength, int type,
                  const std::vector<std::string>& children = {}) {
  std::string block = Pad4(std::string(6, '\0') + Utf16(key) + Le(0, 2)) + Pad4(std::string(value));
  for (const std::string& child : children) block += Pad4(child);
  Poke(block, 0, block.size(), 2);
  Poke(block, 2, valueLength, 2);
  Poke(block, 4, type, 2);
  return block;
}

std::string String(std::u16string_view key, std::u16string_view text, bool countNul = true) {
  return Block(key, Utf16(text) + Le(0, 2), text.size() + countNul, 1);
}

// The resource tree to a version resource: type 16, name 1, language 0x409.
void AddVersion(TestImage& image, const std::string& versionInfo) {
  const std::uint32_t data = image.Put(versionInfo);
  const auto directory = [](std::uint32_t name, std::uint32_t target) {
    return std::string(14, '\0') + Le(1, 2) + Le(name, 4) + Le(target, 4);
  };
  const std::string tree = directory(16, 0x80000000 | 24) + directory(1, 0x80000000 | 48) + directory(0x409, 72) +
                           Le(data, 4) + Le(versionInfo.size(), 4) + Le(0, 8);
  image.SetDirectory(2, image.Put(tree), static_cast<std::uint32_t>(tree.size()));
}

std::string VersionInfo(const std::vector<std::string>& infos) {
  return Block(u"VS_VERSION_INFO", Le(0xfeef04bd, 4) + std::string(48, '\0'), 52, 0, infos);
}

const std::string kTwoLanguages[] = {
    Block(u"040704b0", "", 0, 1, {String(u"FileDescription", u"Beschreibung"), String(u"CompanyName", u"Firma")}),
    Block(u"040904B0", "", 0, 1,
          {String(u"CompanyName", u"Maker \u00e9\u4e2d"), String(u"FileDescription", u"Lister"),
           String(u"FileVersion", u"1.2.3", false)}),
};

TEST(PeImage, AuthenticodeRangesLeaveOutChecksumDirectoryEntryAndCertificateTable) {
  for (const bool pe32Plus : {false, true}) {
    SCOPED_TRACE(pe32Plus ? "PE32+" : "PE32");
    TestImage image(pe32Plus);
    const std::size_t entry = image.DirectoryOffset(4), checksum = TestImage::kChecksum;
    const std::string plain = image.Build();
    auto ranges = AuthenticodeRanges(plain);
    EXPECT_EQ(ranges, (std::vector<ByteRange>{{0, checksum}, {checksum + 4, entry - checksum - 4},
                                              {entry + 8, plain.size() - entry - 8}}));

    // A certificate table at the end is left out; one that runs past the end names nothing.
    image.SetDirectory(4, static_cast<std::uint32_t>(plain.size()), 16);
    ranges = AuthenticodeRanges(image.Build() + std::string(16, 'c'));
    ASSERT_TRUE(ranges && ranges->size() == 3);
    EXPECT_EQ(ranges->back().offset + ranges->back().length, plain.size());
    ranges = AuthenticodeRanges(image.Build() + std::string(15, 'c'));
    ASSERT_TRUE(ranges && ranges->size() == 3);
    EXPECT_EQ(ranges->back().offset + ranges->back().length, plain.size() + 15);

    // Fewer than five directories: only the checksum is left out.
    EXPECT_EQ(AuthenticodeRanges(image.Build(4)),
              (std::vector<ByteRange>{{0, checksum}, {checksum + 4, plain.size() - checksum - 4}}));
  }
}

TEST(PeImage, ImportHashTextNamesModulesAndFunctionsAsTheCommonToolsDo) {
  for (const bool pe32Plus : {false, true}) {
    SCOPED_TRACE(pe32Plus ? "PE32+" : "PE32");
    TestImage image(pe32Plus);
    EXPECT_EQ(ImportHashText(image.Build()), std::nullopt);
    AddImports(image, {
                          {"KERNEL32.dll", {"CreateFileW", "ExitProcess"}},
                          {"WS2_32.DLL", {std::uint16_t{1}, std::uint16_t{115}}},
                          {"wsock32.dll", {std::uint16_t{3}, std::uint16_t{999}}},
                          {"OLEAUT32.dll", {std::uint16_t{2}}},
                          {"helper.exe", {std::uint16_t{7}}},
                          {"ws2_32", {std::uint16_t{1}}},  // no table without the library's full name
                          {"drv.sys", {"Init"}, true},
                          {"ctl.OCX", {"Bad Name", "DllRegisterServer"}},
                          {"bad name.dll", {"F"}},
                      });
    EXPECT_EQ(ImportHashText(image.Build()),
              "kernel32.createfilew,kernel32.exitprocess,ws2_32.accept,ws2_32.wsastartup,wsock32.closesocket,"
              "wsock32.ord999,oleaut32.sysallocstring,helper.exe.ord7,ws2_32.ord1,drv.init,ctl.dllregisterserver,"
              "*invalid*.f");
  }
}

TEST(PeImage, VersionTextsComeFromTheLanguageTheTranslationNamesFirst) {
  for (const bool pe32Plus : {false, true}) {
    SCOPED_TRACE(pe32Plus ? "PE32+" : "PE32");
    TestImage image(pe32Plus);
    EXPECT_EQ(VersionTextsOf(image.Build()), std::nullopt);
    const std::string translation = Le(0x0409, 2) + Le(0x04b0, 2) + Le(0x0407, 2) + Le(0x04b0, 2);
    AddVersion(image, VersionInfo({Block(u"StringFileInfo", "", 0, 1, {kTwoLanguages[0], kTwoLanguages[1]}),
                                   Block(u"VarFileInfo", "", 0, 1, {Block(u"Translation", translation, 8, 0)})}));
    auto texts = VersionTextsOf(image.Build());
    ASSERT_TRUE(texts);
    EXPECT_EQ(texts->description, "Lister");
    EXPECT_EQ(texts->company, "Maker \xc3\xa9\xe4\xb8\xad");
    EXPECT_EQ(texts->version, "1.2.3");
  }
  // Without a Translation the first table counts; strings it lacks stay empty.
  TestImage image(false);
  AddVersion(image, VersionInfo({Block(u"StringFileInfo", "", 0, 1, {kTwoLanguages[0], kTwoLanguages[1]})}));
  const auto texts = VersionTextsOf(image.Build());
  ASSERT_TRUE(texts);
  EXPECT_EQ(texts->description, "Beschreibung");
  EXPECT_EQ(texts->company, "Firma");
  EXPECT_EQ(texts->version, "");
}

TEST(PeImage, BrokenOrHostileBytesGiveNothingAndStayInBounds) {
  TestImage image(true);
  AddImports(image, {{"KERNEL32.dll", {"ExitProcess"}}, {"WS2_32.dll", {std::uint16_t{23}}}});
  AddVersion(image, VersionInfo({Block(u"StringFileInfo", "", 0, 1, {kTwoLanguages[1]})}));
  const std::string good = image.Build();
  ASSERT_TRUE(ImportHashText(good) && VersionTextsOf(good) && AuthenticodeRanges(good));

  // Every cut of the file: headers cut before the certificate-table entry are no image.
  for (std::size_t size = 0; size < good.size(); ++size) {
    const std::string cut = good.substr(0, size);  // its own allocation, so that ASan sees a read past it
    EXPECT_EQ(AuthenticodeRanges(cut).has_value(), size >= image.DirectoryOffset(4) + 8) << size;
    ImportHashText(cut);
    VersionTextsOf(cut);
  }
  const auto notAnImage = [](std::string file, std::size_t at, std::uint64_t value, int bytes) {
    Poke(file, at, value, bytes);
    return !AuthenticodeRanges(file) && !ImportHashText(file) && !VersionTextsOf(file);
  };
  EXPECT_TRUE(notAnImage(good, 0, 'Z' | 'M' << 8, 2));
  EXPECT_TRUE(notAnImage(good, 0x3c, good.size() + 1, 4));  // e_lfanew outside the file
  EXPECT_TRUE(notAnImage(good, 0x3c, good.size() - 2, 4));
  EXPECT_TRUE(notAnImage(good, 0x43, 1, 1));  // "PE\0\1"
  EXPECT_TRUE(notAnImage(good, TestImage::kOptionalHeader, 0x107, 2));

  // A version tree whose block claims more than its parent holds is read as far as the parent goes.
  std::string overlong = VersionInfo({Block(u"StringFileInfo", "", 0, 1, {kTwoLanguages[1]})});
  Poke(overlong, 92, 0xffff, 2);  // the StringFileInfo block's length
  TestImage clipped(false);
  AddVersion(clipped, overlong);
  EXPECT_EQ(VersionTextsOf(clipped.Build()).value_or(VersionTexts{}).description, "Lister");

  // Thousands of descriptors sharing one thunk table: the walk stops where the
  // common tools stop, after 0x2000 thunks over lookup and address tables.
  TestImage flood(false);
  const std::uint32_t name = flood.Put("KERNEL32.dll");
  const std::uint32_t thunks = flood.Put(Le(flood.Put(Le(0, 2) + "Sleep"), 4) + Le(0, 4));
  std::string descriptors;
  for (int i = 0; i < 5000; ++i) descriptors += Le(thunks, 4) + Le(0, 8) + Le(name, 4) + Le(thunks, 4);
  flood.SetDirectory(1, flood.Put(descriptors + std::string(20, '\0')), 0);
  const auto text = ImportHashText(flood.Build());
  ASSERT_TRUE(text);
  EXPECT_EQ(std::count(text->begin(), text->end(), ',') + 1, 2049);
}

}  // namespace
}  // namespace vq
