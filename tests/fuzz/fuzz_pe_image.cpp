// Any bytes as a PE image: the parser never reads outside them, never hangs,
// and what it returns holds together.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "collectors/pe_image.h"

namespace {

// Random bytes seldom spell the signatures; in half the inputs they are put in
// place (MZ, e_lfanew 0x40, PE\0\0, PE32 or PE32+), so that the time goes to
// what lies past them.
void PutSignatures(std::string& file) {
  if (file.size() < 0x5a || (file[0] & 1) == 0) return;
  const bool pe32Plus = (file[0] & 2) != 0;
  file.replace(0, 2, "MZ");
  file.replace(0x3c, 4, std::string("\x40\0\0\0", 4));
  file.replace(0x40, 4, std::string("PE\0\0", 4));
  file.replace(0x58, 2, pe32Plus ? "\x0b\x02" : "\x0b\x01");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  std::string file(reinterpret_cast<const char*>(bytes), size);
  PutSignatures(file);
  if (const auto ranges = vq::AuthenticodeRanges(file)) {
    // In file order, apart, inside the file, and never all of it (the checksum is always left out).
    std::size_t end = 0, covered = 0;
    for (const vq::ByteRange& range : *ranges) {
      if (range.length == 0 || range.offset < end || range.offset + range.length > size) std::abort();
      end = range.offset + range.length;
      covered += range.length;
    }
    if (covered + 4 > size) std::abort();
  }
  if (const auto text = vq::ImportHashText(file)) {
    if (text->empty() || text->find_first_of(" \n") != std::string::npos) std::abort();
  }
  vq::VersionTextsOf(file);
  return 0;
}
