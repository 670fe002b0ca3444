#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

enum class HashAlgorithm { Md5, Sha1, Sha256 };

// The trust provider's codes the console edition tells apart.
namespace trust {
constexpr std::uint32_t kNoSignature = 0x800B0100;        // TRUST_E_NOSIGNATURE
constexpr std::uint32_t kSubjectFormUnknown = 0x800B0003; // TRUST_E_SUBJECT_FORM_UNKNOWN: no kind of file it signs
constexpr std::uint32_t kProviderUnknown = 0x800B0001;    // TRUST_E_PROVIDER_UNKNOWN
}  // namespace trust

// What the system's trust provider says of one signature of a file.
struct TrustVerdict {
  std::uint32_t status = 0;  // its result: 0 when the signature verifies
  std::string signer;        // the signing certificate's name, where the signature could be read
  std::string reason;        // the system's text for the status; empty when it verifies
};

// One program file, open for reading; destroying it closes it. The trust
// checks read the file through this same handle.
class ImageFile {
 public:
  virtual ~ImageFile() = default;
  // The whole file. Throws Failure when it cannot be read.
  virtual std::string ReadAll() = 0;
  // The file's own Authenticode signature: status trust::kNoSignature when it
  // has none. Revocation is never fetched and nothing is ever shown.
  virtual TrustVerdict CheckEmbeddedSignature() = 0;
  // The signature of the system catalog that lists the file's hash (SHA-256,
  // else SHA-1); nullopt when no catalog does.
  virtual std::optional<TrustVerdict> CheckCatalogSignature() = 0;
};

// Program files as the console edition inspects them: what they are, who
// signed them, and their hashes.
class ImageFiles {
 public:
  virtual ~ImageFiles() = default;
  // Opens a file for reading. Throws Failure when it cannot, also when the
  // share it is on does not answer within a few seconds: a share that did
  // not answer once fails at once for the rest of the run.
  virtual std::unique_ptr<ImageFile> Open(const std::string& path) = 0;
  // The digest of the pieces taken one after another, as bytes.
  virtual std::string Digest(HashAlgorithm algorithm, const std::vector<std::string_view>& pieces) = 0;
};

}  // namespace vq
