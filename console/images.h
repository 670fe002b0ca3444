#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/image_files.h"

namespace vq {

// What the console edition tells of one program file: its version texts, who
// signed it, its hashes (upper-case hex, as the fleet tools compare them) and
// its link time. Texts it cannot have stay empty.
struct ImageFacts {
  std::string description, company, version;
  std::string signer;  // "(Verified) name", or "(Not verified) " and why; empty unless asked for
  bool verified = false;
  std::string md5, sha1, sha256, pesha1, pesha256, imp;
  std::optional<std::int64_t> linkTime;  // FILETIME
};

// Inspects each distinct file once a run, however many entries name it:
// opened once, read once, hashed once, its signature checked once.
class ImageInspector {
 public:
  // `signatures` checks who signed each file; `hashes` takes its hashes.
  ImageInspector(ImageFiles& images, bool signatures, bool hashes);
  // The facts of the file at `path`; a file that cannot be read has only the
  // signer's text, saying why.
  const ImageFacts& Facts(const std::string& path);

 private:
  ImageFacts Inspect(const std::string& path);
  void CheckSigner(ImageFile& file, ImageFacts& facts);
  void TakeHashes(const std::string& bytes, ImageFacts& facts);

  ImageFiles& images_;
  bool signatures_;
  bool hashes_;
  std::map<std::string, ImageFacts> known_;  // by the path in lower case
};

// True when the name is one Microsoft signs or publishes its own programs
// under ("Microsoft Windows", "Microsoft Corporation"), as -m hides them.
bool IsMicrosoftName(std::string_view name);

}  // namespace vq
