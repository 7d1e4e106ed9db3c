#include "image/Sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>

namespace Image {

std::array<std::uint8_t, 32> Sha256(std::string_view data) {
  std::array<std::uint8_t, 32> hash{};
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    throw std::runtime_error("SHA-256 is not available");
  BCRYPT_HASH_HANDLE handle = nullptr;
  NTSTATUS status = BCryptCreateHash(algorithm, &handle, nullptr, 0, nullptr, 0, 0);
  // One call takes at most 4 GB.
  for (std::size_t at = 0; BCRYPT_SUCCESS(status) && at < data.size();) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(data.size() - at, 1u << 30));
    status = BCryptHashData(handle, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data() + at)),
                            piece, 0);
    at += piece;
  }
  if (BCRYPT_SUCCESS(status)) status = BCryptFinishHash(handle, hash.data(), hash.size(), 0);
  if (handle) BCryptDestroyHash(handle);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!BCRYPT_SUCCESS(status)) throw std::runtime_error("SHA-256 failed");
  return hash;
}

}  // namespace Image
