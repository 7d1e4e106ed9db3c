#pragma once
#include <optional>
#include <string>
#include <string_view>

// The character sets in which message catalogs come, as far as the program reads them.
enum class TTextEncoding { Utf8, Latin1, Latin9, Windows1252 };

// The encoding a catalog header names ("UTF-8", "ISO-8859-1", "CP1252", ...), compared
// without regard to case, '-' or '_'. An empty name, ASCII and the template's placeholder
// "CHARSET" read as UTF-8; an unknown name gives nothing.
std::optional<TTextEncoding> EncodingNamed(std::string_view name);

// text as UTF-8, or nothing when it is not valid in its encoding.
std::optional<std::string> ToUtf8(std::string_view text, TTextEncoding encoding);
