// Values of any name, type and data written to a registry editor file and
// read back by the tests' own reader: the same keys, names, types and bytes,
// each value in the form its name allows (a line, or comment lines).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "removal/reg_file.h"
#include "support/reg_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider input(bytes, size);
  struct Value {
    vq::Hive hive;
    std::u16string key, name;
    std::uint32_t type;
    std::string data;
  };
  static const std::u16string kKeys[] = {u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"SOFTWARE\\X\\",
                                         u"Software\\\u00DC\u4E2D", std::u16string(u"SOFTWARE\\a\0b", 12),
                                         u"SOFTWARE\\a]b", u"SOFTWARE\\a\r\nb"};
  static const vq::Hive kHives[] = {vq::Hive::CurrentUser, vq::Hive::LocalMachine, vq::Hive::Users};
  static const std::uint32_t kTypes[] = {vq::regtype::kSz, vq::regtype::kExpandSz, vq::regtype::kBinary,
                                         vq::regtype::kDword, vq::regtype::kMultiSz, 0, 11};
  std::vector<Value> values;
  vq::RegFile file;
  std::string text = vq::RegFile::Start();
  while (input.remaining_bytes() > 0 && values.size() < 64) {
    Value value;
    value.hive = input.PickValueInArray(kHives);
    value.key = input.PickValueInArray(kKeys);
    const std::size_t units = input.ConsumeIntegralInRange<std::size_t>(0, 12);
    for (std::size_t i = 0; i < units; ++i) {
      // Mostly the characters that matter to the file: quotes, backslashes, NUL, CR, LF, surrogates.
      static const char16_t kSpecial[] = {u'"', u'\\', 0, u'\r', u'\n', 0xD800, 0xDC00, u'=', u'@', u'[', u';'};
      value.name += input.ConsumeBool() ? input.PickValueInArray(kSpecial) : input.ConsumeIntegral<char16_t>();
    }
    value.type = input.ConsumeBool() ? input.PickValueInArray(kTypes) : input.ConsumeIntegral<std::uint32_t>();
    value.data = input.ConsumeRandomLengthString(300);
    text += file.Add(value.hive, value.key, value.name, value.type, value.data);
    values.push_back(std::move(value));
  }
  const auto read = vq::test::ReadRegFile(text);
  if (!read || read->size() != values.size()) std::abort();
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Value& written = values[i];
    const vq::test::ImportedValue& back = (*read)[i];
    std::u16string key = written.key;
    while (!key.empty() && key.back() == u'\\') key.pop_back();
    const std::u16string hive = written.hive == vq::Hive::CurrentUser    ? u"HKEY_CURRENT_USER\\"
                                : written.hive == vq::Hive::LocalMachine ? u"HKEY_LOCAL_MACHINE\\"
                                                                         : u"HKEY_USERS\\";
    if (back.key != hive + key || back.name != written.name || back.type != written.type ||
        back.data != written.data ||
        back.comment == (vq::RegFileCanSpell(written.name) && vq::RegFileCanSpellKey(hive + key))) {
      std::abort();
    }
  }
  return 0;
}
