// A whole system file read as text, whatever its bytes.
#include <cstdlib>

#include "collectors/mod_system_file.h"
#include "fakes/fake_platform.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static vq::test::FakeFileSystem files;
  const std::string content(reinterpret_cast<const char*>(bytes), size);
  files.AddFile("C:\\WINDOWS\\win.ini", content);
  const std::string text = vq::ReadWholeFile(files, "C:\\WINDOWS\\win.ini");
  if (size == 0) {
    if (text != "empty file") std::abort();
  } else if (bytes[0] == 0xFF || bytes[0] == 0xFE) {
    // Every code unit read, an odd last byte as one more character.
    if (vq::Utf16Length(text) != (size + 1) / 2) std::abort();
  }
  return 0;
}
