#include "image/Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace Image {

std::array<std::uint8_t, 32> Sha256(std::string_view data) {
  std::array<std::uint8_t, 32> hash{};
  unsigned length = 0;
  if (EVP_Digest(data.data(), data.size(), hash.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != hash.size())
    throw std::runtime_error("SHA-256 failed");
  return hash;
}

}  // namespace Image
