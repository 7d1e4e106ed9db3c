#pragma once
#include <string>

#include "hex/HexImage.h"

namespace Image {

// The SHA-256 of what an image puts where, as 64 lower-case hexadecimal digits: the hash of one
// line "AAAAAAAA VV\n" (byte address and value, upper-case hexadecimal) per byte the image
// sets, in address order. The same contents in another HEX layout (record lengths, order,
// extended addresses, line ends) give the same digest, so records can tell images apart by
// what they would put into a chip.
std::string ImageDigest(const Hex::THexImage& image);

}  // namespace Image
