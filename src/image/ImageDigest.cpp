#include "image/ImageDigest.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace Image {

std::string ImageDigest(const Hex::THexImage& image) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 is not available");
  std::string lines;
  lines.reserve(image.size() * 12);
  char line[16];
  for (const auto& [address, value] : image) {
    const int n = std::snprintf(line, sizeof line, "%08X %02X\n", static_cast<unsigned>(address),
                                static_cast<unsigned>(value));
    lines.append(line, static_cast<std::size_t>(n));
  }
  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_DigestUpdate(ctx.get(), lines.data(), lines.size()) != 1 ||
      EVP_DigestFinal_ex(ctx.get(), hash, &length) != 1)
    throw std::runtime_error("SHA-256 failed");
  static constexpr char Digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    hex += Digits[hash[i] >> 4];
    hex += Digits[hash[i] & 15];
  }
  return hex;
}

}  // namespace Image
