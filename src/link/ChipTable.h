#pragma once
#include <string>
#include <string_view>
#include <vector>

// True when text is non-empty and holds only "0"-"9" and upper-case "A"-"F".
bool IsHexText(std::string_view text);

// The chip in the socket as the identification answer names it.
struct TChip {
  std::string ChipName;  // a model name, "None" or "Unknown"; empty until identified
  std::string SizeCode;  // four digits: 2nd = program K words, 4th = EEPROM in 64-byte units

  // Sets ChipName and SizeCode from the identification number (ID word >> 4, & 0x3FE; -1 for
  // an answer that is not hexadecimal). "None" keeps the previous SizeCode.
  void SelectChip(int number);
};

// The known chip of this name ("PIC16F877A"; case-blind, "PIC" optional), with its size
// code; "Unknown" when there is none.
TChip ChipNamed(std::string_view name);
// Every known chip's name, in the table's order, each once.
std::vector<std::string> ChipNames();

// Figures derived from a size code (P = 2nd digit, D = 4th digit); an empty or malformed
// code counts as "0101".
std::string_view ReadSizeCode(std::string_view sizeCode);  // the code the read command sends
int ProgramKWords(std::string_view sizeCode);       // P
int EepromBytes(std::string_view sizeCode);         // D x 64
int ReadAnswerLength(std::string_view sizeCode);    // P x 5760 + D x 360 + 66
