#include "link/ChipTable.h"

#include <algorithm>

#include "framework/Convert.h"

namespace {

struct TChipRow {
  int Number;
  const char* Name;
  const char* SizeCode;
};

// Identification number (device ID word >> 4, revision bit cleared) to chip.
constexpr TChipRow Chips[] = {
    {0x056, "PIC16F84A", "0101"},  {0x08E, "PIC16F872", "0201"},  {0x092, "PIC16F874", "0402"},
    {0x096, "PIC16F873", "0402"},  {0x09A, "PIC16F877", "0804"},  {0x09E, "PIC16F876", "0804"},
    {0x0D0, "PIC16F870", "0201"},  {0x0D2, "PIC16F871", "0201"},  {0x0E0, "PIC16F876A", "0804"},
    {0x0E2, "PIC16F877A", "0804"}, {0x0E4, "PIC16F873A", "0402"}, {0x0E6, "PIC16F874A", "0402"},
    {0x10C, "PIC16F630", "0102"},  {0x10E, "PIC16F630", "0102"},
};

// An unrecognised chip is given the smallest layout: 1K words, 64 bytes of EEPROM.
constexpr std::string_view SmallestSizeCode = "0101";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view UsableSizeCode(std::string_view sizeCode) {
  const bool valid = sizeCode.size() == 4 && std::all_of(sizeCode.begin(), sizeCode.end(), IsDigit);
  return valid ? sizeCode : SmallestSizeCode;
}

}  // namespace

bool IsHexText(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F');
  });
}

void TChip::SelectChip(int number) {
  if (number == 0) {
    // No chip in the socket: the last known sizes stay.
    ChipName = "None";
    return;
  }
  for (const TChipRow& row : Chips) {
    if (row.Number == number) {
      ChipName = row.Name;
      SizeCode = row.SizeCode;
      return;
    }
  }
  ChipName = "Unknown";
  SizeCode = SmallestSizeCode;
}

TChip ChipNamed(std::string_view name) {
  for (const TChipRow& row : Chips) {
    const std::string_view full = row.Name;
    if (SameTextAscii(name, full) || SameTextAscii(name, full.substr(3))) return {row.Name, row.SizeCode};
  }
  return {"Unknown", std::string(SmallestSizeCode)};
}

std::vector<std::string> ChipNames() {
  std::vector<std::string> names;
  for (const TChipRow& row : Chips)
    if (std::find(names.begin(), names.end(), row.Name) == names.end()) names.push_back(row.Name);
  return names;
}

std::string_view ReadSizeCode(std::string_view sizeCode) { return UsableSizeCode(sizeCode); }

int ProgramKWords(std::string_view sizeCode) { return UsableSizeCode(sizeCode)[1] - '0'; }

int EepromBytes(std::string_view sizeCode) { return (UsableSizeCode(sizeCode)[3] - '0') * 64; }

int ReadAnswerLength(std::string_view sizeCode) {
  const std::string_view code = UsableSizeCode(sizeCode);
  return (code[1] - '0') * 5760 + (code[3] - '0') * 360 + 66;
}
