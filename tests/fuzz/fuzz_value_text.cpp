// A registry value's text, from any type and data bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "collectors/mod_registry.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  const std::uint32_t type = bytes[0] % 12;
  const std::string_view data(reinterpret_cast<const char*>(bytes + 1), size - 1);
  const std::optional<std::string> text = vq::ValueText(type, data);
  const bool isText = type == vq::regtype::kSz || type == vq::regtype::kExpandSz;
  if ((isText || type == vq::regtype::kDword) != text.has_value()) std::abort();
  const std::size_t length = vq::DataLength(type, data.size());
  // A text keeps every code unit but its last one, whatever the bytes.
  if (isText && vq::Utf16Length(*text) != (length == 0 ? 0 : length - 1)) std::abort();
  if (type == vq::regtype::kDword && text->size() != 10) std::abort();
  return 0;
}
