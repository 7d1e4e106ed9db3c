#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "hex/HexImage.h"
#include "image/ChipLayout.h"
#include "serial/NumList.h"
#include "serial/SerialNumber.h"

namespace Serial {

// One chip's number: how a record names it, and what it puts where.
struct TStamp {
  std::string Number;    // "1234"; for an SQTP record its bytes in address order, "BF7087ED"
  Hex::THexImage Bytes;  // byte address to value, as the image's HEX file addresses them
};

TStamp StampOf(std::uint64_t number, const TSerialLayout& layout);
TStamp StampOf(const TNumRecord& record);

// Throws ESerial, naming the number and the word, when a stamped word lies outside the chip
// or on a word it keeps whatever is written (the PIC16F630's calibration word), when the
// stamp gives a program, ID or configuration word only in part or beyond its 14 bits, or,
// unless `overwrite`, when the image sets any byte of a stamped word itself.
void CheckStamp(const Hex::THexImage& image, const Image::TChipLayout& chip, const TStamp& stamp, bool overwrite);

// The image with the stamp in it, checked as CheckStamp checks it.
Hex::THexImage Stamped(const Hex::THexImage& image, const Image::TChipLayout& chip, const TStamp& stamp,
                       bool overwrite);

// Where each chip's number comes from: a sequence (start, start + step, ...) in a layout, or
// an SQTP list, one record per chip. Whoever hands out numbers keeps the count of chips; the
// n-th chip's stamp is StampFor(n).
class TNumberSource {
public:
  TNumberSource(const TSerialLayout& layout, std::uint64_t start, std::uint64_t step);
  explicit TNumberSource(std::vector<TNumRecord> list);

  // The stamp of chip `index`, from 0. Throws ESerial "the number list is used up" past a
  // list's end, and when a sequence's number passes 2^64 or its layout's width.
  TStamp StampFor(std::uint64_t index) const;
  // How many chips a list has numbers for; nothing for a sequence.
  std::optional<std::uint64_t> Count() const;
  // Checks before the first chip that the numbers go into this chip beside this image: every
  // record of a list, the first number of a sequence (all of its numbers share their words).
  void Check(const Hex::THexImage& image, const Image::TChipLayout& chip, bool overwrite) const;

private:
  struct TSequence {
    TSerialLayout Layout;
    std::uint64_t Start, Step;
  };
  std::variant<TSequence, std::vector<TNumRecord>> FSource;
};

// The number an image (a chip's dump) holds in the layout, or nothing when it holds none.
std::optional<std::uint64_t> ReadNumber(const Hex::THexImage& image, const TSerialLayout& layout);

}  // namespace Serial
