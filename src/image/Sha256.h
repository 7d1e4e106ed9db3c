#pragma once
#include <array>
#include <cstdint>
#include <string_view>

namespace Image {

// The SHA-256 of data, from the system's own cryptography: OpenSSL's libcrypto on Linux,
// CNG (bcrypt) on Windows. Throws std::runtime_error when the system cannot hash.
std::array<std::uint8_t, 32> Sha256(std::string_view data);

}  // namespace Image
