#pragma once
#include <optional>
#include <string>
#include <string_view>

// Text to a 32-bit integer: an optionally signed decimal number, or a hexadecimal one
// introduced by "$" or "0x". Anything else, blanks included, and values out of range fail.
std::optional<int> TryStrToInt(std::string_view text);
// As TryStrToInt; raises EConvertError "'<text>' is not a valid integer value" on failure.
int StrToInt(std::string_view text);
