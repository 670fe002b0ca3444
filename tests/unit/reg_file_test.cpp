#include "removal/reg_file.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "support/reg_reader.h"

namespace vq {
namespace {

using test::Utf16Le;

std::u16string Line(std::string_view name, std::uint32_t type, std::string_view data) {
  return RegValueLines(Utf8ToUtf16(name), type, data);
}

TEST(RegFile, ValueLinesAsTheRegistryEditorWritesThem) {
  const std::string nul(2, '\0');
  EXPECT_EQ(Line("Tool", regtype::kSz, Utf16Le(u"\"C:\\Program Files\\x.exe\" /min") + nul),
            u"\"Tool\"=\"\\\"C:\\\\Program Files\\\\x.exe\\\" /min\"\r\n");
  EXPECT_EQ(Line("a\"b\\c", regtype::kSz, Utf16Le(u"x") + nul), u"\"a\\\"b\\\\c\"=\"x\"\r\n");
  EXPECT_EQ(Line("\xC3\x9C" "ber-\xE4\xB8\xAD", regtype::kSz, Utf16Le(u"\u00FC") + nul), u"\"\u00DCber-\u4E2D\"=\"\u00FC\"\r\n");
  EXPECT_EQ(Line("", regtype::kSz, Utf16Le(u"d") + nul), u"@=\"d\"\r\n");
  EXPECT_EQ(Line("e", regtype::kSz, nul), u"\"e\"=\"\"\r\n") << "an empty text with its terminator";
  EXPECT_EQ(Line("e", regtype::kSz, ""), u"\"e\"=hex(1):\r\n") << "no bytes at all";
  EXPECT_EQ(Line("n", regtype::kSz, Utf16Le(u"ab")), u"\"n\"=hex(1):61,00,62,00\r\n") << "no terminator";
  EXPECT_EQ(Line("n", regtype::kSz, Utf16Le(u"a") + nul + Utf16Le(u"b") + nul), u"\"n\"=hex(1):61,00,00,00,62,00,00,00\r\n");
  EXPECT_EQ(Line("n", regtype::kSz, Utf16Le(u"a\r\nb") + nul).substr(0, 13), u"\"n\"=hex(1):61");
  EXPECT_EQ(Line("o", regtype::kSz, "a"), u"\"o\"=hex(1):61\r\n") << "an odd length";
  EXPECT_EQ(Line("d", regtype::kDword, std::string("\x2A\x01\x00\xFF", 4)), u"\"d\"=dword:ff00012a\r\n");
  EXPECT_EQ(Line("d", regtype::kDword, "\x2A"), u"\"d\"=hex(4):2a\r\n");
  EXPECT_EQ(Line("x", regtype::kExpandSz, Utf16Le(u"%A%") + nul), u"\"x\"=hex(2):25,00,41,00,25,00,00,00\r\n");
  EXPECT_EQ(Line("m", regtype::kMultiSz, Utf16Le(u"a") + nul + nul), u"\"m\"=hex(7):61,00,00,00,00,00\r\n");
  EXPECT_EQ(Line("b", regtype::kBinary, "\x01\xFF"), u"\"b\"=hex:01,ff\r\n");
  EXPECT_EQ(Line("q", 11, std::string(8, '\0')), u"\"q\"=hex(b):00,00,00,00,00,00,00,00\r\n");
  // Long data goes on over lines of under 80 characters, each but the last ending in ",\".
  const std::u16string wrapped = Line("b", regtype::kBinary, std::string(100, '\x11'));
  std::size_t start = 0;
  for (std::size_t end; (end = wrapped.find(u"\r\n", start)) != std::u16string::npos; start = end + 2) {
    EXPECT_LE(end - start, 80u);
  }
}

TEST(RegFile, OnlyAppendedToWithAKeysSectionRepeatedWhenItComesUpAgain) {
  RegFile file;
  const std::u16string run = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  std::string bytes = RegFile::Start();
  bytes += file.Add(Hive::CurrentUser, run, u"a", regtype::kSz, Utf16Le(u"1") + std::string(2, '\0'));
  bytes += file.Add(Hive::CurrentUser, run, u"b", regtype::kDword, std::string("\1\0\0\0", 4));
  bytes += file.Add(Hive::LocalMachine, u"SOFTWARE\\X\\", u"c", regtype::kBinary, "\1");
  bytes += file.Add(Hive::CurrentUser, run, u"d", regtype::kBinary, "\2");
  EXPECT_EQ(bytes, "\xFF\xFE" + Utf16Le(u"Windows Registry Editor Version 5.00\r\n"
                                        u"\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
                                        u"\"a\"=\"1\"\r\n\"b\"=dword:00000001\r\n"
                                        u"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"c\"=hex:01\r\n"
                                        u"\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
                                        u"\"d\"=hex:02\r\n"));
}

TEST(RegFile, NamesTheEditorCannotSpellAreCommentLinesThatKeepEveryByte) {
  const std::u16string name(u"Upd\0x\r\n", 7);
  const std::u16string lines = RegValueLines(name, regtype::kSz, Utf16Le(u"b") + std::string(2, '\0'));
  EXPECT_EQ(lines.substr(lines.find(u"\r\n") + 2),
            u";name=hex:55,00,70,00,64,00,00,00,78,00,0d,00,0a,00\r\n;data=hex(1):62,00,00,00\r\n");
  for (std::size_t start = 0, end; (end = lines.find(u"\r\n", start)) != std::u16string::npos; start = end + 2) {
    EXPECT_EQ(lines[start], u';') << "every line a comment";
    EXPECT_LE(end - start, 80u);
  }
  EXPECT_TRUE(RegFileCanSpell(std::u16string{u'a', 0xD800, u'b'})) << "an unpaired surrogate is written as it is";
  EXPECT_FALSE(RegFileCanSpell(std::u16string(u"\0hidden", 7)));
}

TEST(RegFile, EveryValueReadsBackAsTheSameTypeAndBytes) {
  struct Value {
    std::string name;
    std::uint32_t type;
    std::string data;
  };
  const std::string nul(2, '\0');
  std::string megabyte(1 << 20, '\0');
  for (std::size_t i = 0; i < megabyte.size(); ++i) megabyte[i] = static_cast<char>(i * 7 % 251);
  const std::vector<Value> values = {
      {"quote\"and\\slash", regtype::kSz, Utf16Le(u"C:\\\"x\"\\y") + nul},
      {"\xC3\x9C" "ber-\xE4\xB8\xAD", regtype::kSz, Utf16Le(u"\U0001F600 \u4E2D") + nul},
      {"", regtype::kSz, Utf16Le(u"default") + nul},
      {"empty", regtype::kSz, nul},
      {"nothing", regtype::kSz, ""},
      {"unterminated", regtype::kSz, Utf16Le(u"abc")},
      {"lone surrogate", regtype::kSz, Utf16Le(u"a") + "\x00\xD8" + nul},
      {"dword", regtype::kDword, "\x78\x56\x34\x12"},
      {"short dword", regtype::kDword, "\x01\x02"},
      {"expand", regtype::kExpandSz, Utf16Le(u"%SystemRoot%\\x.exe") + nul},
      {"multi", regtype::kMultiSz, Utf16Le(u"a") + nul + Utf16Le(u"b") + nul + nul},
      {"binary", regtype::kBinary, std::string("\x00\xFF\x10", 3)},
      {"megabyte", regtype::kBinary, megabyte},
  };
  RegFile file;
  std::string bytes = RegFile::Start();
  for (const Value& value : values) {
    bytes += file.Add(Hive::CurrentUser, u"Software\\Test", Utf8ToUtf16(value.name), value.type, value.data);
  }
  const auto read = test::ReadRegFile(bytes);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ((*read)[i].key, u"HKEY_CURRENT_USER\\Software\\Test");
    EXPECT_EQ((*read)[i].name, Utf8ToUtf16(values[i].name));
    EXPECT_EQ((*read)[i].type, values[i].type) << values[i].name;
    EXPECT_EQ((*read)[i].data, values[i].data) << values[i].name;
  }
}

}  // namespace
}  // namespace vq
