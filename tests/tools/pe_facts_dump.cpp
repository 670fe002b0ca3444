// Prints what the PE image parser reads from each file named on the command
// line, one JSON line per file, for tests/contrib/check_pe_facts.py to hold
// against an independent reading of the same images:
//   {"path": "...", "imports": "..." | null, "ranges": [[offset, length], ...] | null,
//    "version": {"description": "...", "company": "...", "version": "..."} | null}
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "collectors/pe_image.h"

namespace {

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::cerr << "cannot read " << argv[i] << "\n";
      status = 1;
      continue;
    }
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string line = "{\"path\": " + Json(argv[i]) + ", \"imports\": ";
    const auto imports = vq::ImportHashText(file);
    line += imports ? Json(*imports) : "null";
    line += ", \"ranges\": ";
    if (const auto ranges = vq::AuthenticodeRanges(file)) {
      line += "[";
      for (std::size_t r = 0; r < ranges->size(); ++r) {
        const vq::ByteRange& range = (*ranges)[r];
        line += (r ? ", [" : "[") + std::to_string(range.offset) + ", " + std::to_string(range.length) + "]";
      }
      line += "]";
    } else {
      line += "null";
    }
    line += ", \"version\": ";
    if (const auto version = vq::VersionTextsOf(file)) {
      line += "{\"description\": " + Json(version->description) + ", \"company\": " + Json(version->company) +
              ", \"version\": " + Json(version->version) + "}";
    } else {
      line += "null";
    }
    std::cout << line << "}\n";
  }
  return status;
}
