#pragma once
#include <optional>
#include <string>
#include <string_view>

// Text to a 32-bit integer: an optionally signed decimal number, or a hexadecimal one
// introduced by "$" or "0x". Anything else, blanks included, and values out of range fail.
std::optional<int> TryStrToInt(std::string_view text);
// As TryStrToInt; raises EConvertError "'<text>' is not a valid integer value" on failure.
int StrToInt(std::string_view text);

// Equal texts but for the case of a-z; other bytes compare as they are. Setting names and
// setting texts compare so.
bool SameTextAscii(std::string_view a, std::string_view b);
