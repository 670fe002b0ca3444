// The registry row rules, for any key path, name, length and value text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "collectors/mod_registry.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider input(bytes, size);
  const std::string keyPath = input.ConsumeRandomLengthString(200);
  const std::string name = input.ConsumeRandomLengthString(300);
  const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 1100);
  const std::string text = input.ConsumeRemainingBytesAsString();
  const std::optional<std::string> extra = vq::DecideRegistryRow(keyPath, name, vq::Utf16Length(name), length, text);
  if (length == 0 && extra != "") std::abort();
  if (!extra || extra->empty()) return 0;
  // A program folder ends in a backslash, holds no quotes and comes from the text's start.
  if (extra->back() != '\\' || extra->find('"') != std::string::npos) std::abort();
  const std::string unquoted = vq::ReplaceAll(text, "\"", "");
  if (unquoted.compare(0, extra->size(), *extra) != 0) std::abort();
  return 0;
}
