#include "console/images.h"

#include "collectors/pe_image.h"
#include "console/listing.h"
#include "platform/failure.h"
#include "platform/text.h"

namespace vq {

namespace {

// Hashes in upper-case hex, as the fleet tools compare them.
std::string UpperHex(std::string_view bytes) { return AsciiUpper(HexBytes(bytes)); }

// A file that carries no signature of its own may still be signed: by a
// system catalog that lists its hash.
bool HasNoOwnSignature(std::uint32_t status) {
  return status == trust::kNoSignature || status == trust::kSubjectFormUnknown || status == trust::kProviderUnknown;
}

}  // namespace

bool IsMicrosoftName(std::string_view name) {
  // Only Microsoft's own names: "Microsoft Windows Hardware Compatibility
  // Publisher" signs other makers' drivers, which -m must not hide.
  const std::string lower = AsciiLower(name);
  return lower == "microsoft windows" || lower == "microsoft corporation" || lower == "microsoft windows publisher";
}

ImageInspector::ImageInspector(ImageFiles& images, bool signatures, bool hashes)
    : images_(images), signatures_(signatures), hashes_(hashes) {}

const ImageFacts& ImageInspector::Facts(const std::string& path) {
  const std::string key = AsciiLower(path);
  if (const auto known = known_.find(key); known != known_.end()) return known->second;
  return known_.emplace(key, Inspect(path)).first->second;
}

ImageFacts ImageInspector::Inspect(const std::string& path) {
  ImageFacts facts;
  try {
    const std::unique_ptr<ImageFile> file = images_.Open(path);
    const std::string bytes = file->ReadAll();
    if (const std::optional<VersionTexts> texts = VersionTextsOf(bytes)) {
      facts.description = texts->description;
      facts.company = texts->company;
      facts.version = texts->version;
    }
    facts.linkTime = LinkTimeOf(bytes);
    if (hashes_) TakeHashes(bytes, facts);
    if (signatures_) CheckSigner(*file, facts);
  } catch (const Failure& failure) {
    // What could be found stays; a file that cannot be read is not verified, and says why.
    facts.verified = false;
    if (signatures_) facts.signer = std::string("(Not verified) ") + failure.what();
  } catch (const std::bad_alloc&) {
    facts.verified = false;
    if (signatures_) facts.signer = "(Not verified) Not enough memory to read the file";
  }
  return facts;
}

void ImageInspector::CheckSigner(ImageFile& file, ImageFacts& facts) {
  TrustVerdict verdict = file.CheckEmbeddedSignature();
  if (HasNoOwnSignature(verdict.status)) {
    if (std::optional<TrustVerdict> catalog = file.CheckCatalogSignature()) verdict = std::move(*catalog);
  }
  facts.verified = verdict.status == 0;
  facts.signer = facts.verified ? "(Verified) " + verdict.signer : "(Not verified) " + verdict.reason;
}

void ImageInspector::TakeHashes(const std::string& bytes, ImageFacts& facts) {
  facts.md5 = UpperHex(images_.Digest(HashAlgorithm::Md5, {bytes}));
  facts.sha1 = UpperHex(images_.Digest(HashAlgorithm::Sha1, {bytes}));
  facts.sha256 = UpperHex(images_.Digest(HashAlgorithm::Sha256, {bytes}));
  // The Authenticode hash: what a signature of the image signs, the same
  // whether or not the image is signed yet.
  if (const std::optional<std::vector<ByteRange>> ranges = AuthenticodeRanges(bytes)) {
    std::vector<std::string_view> pieces;
    for (const ByteRange& range : *ranges) pieces.push_back(std::string_view(bytes).substr(range.offset, range.length));
    facts.pesha1 = UpperHex(images_.Digest(HashAlgorithm::Sha1, pieces));
    facts.pesha256 = UpperHex(images_.Digest(HashAlgorithm::Sha256, pieces));
  }
  if (const std::optional<std::string> imports = ImportHashText(bytes)) {
    facts.imp = UpperHex(images_.Digest(HashAlgorithm::Md5, {*imports}));
  }
}

}  // namespace vq
