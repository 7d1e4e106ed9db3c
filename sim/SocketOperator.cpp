#include "SocketOperator.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "hex/HexImage.h"

namespace Sim {

TSocketOperator::TSocketOperator(TSimulator& simulator, const TChipModel& chip, std::string dumpFolder)
    : FSimulator(simulator), FChip(chip), FDumpFolder(std::move(dumpFolder)) {}

std::string TSocketOperator::TakeOut() {
  if (!FSimulator.Occupied()) return {};
  std::string path;
  if (!FDumpFolder.empty()) {
    // Written before the chip leaves, so that a dump that fails loses no chip.
    char name[32];
    std::snprintf(name, sizeof name, "chip-%04u.hex", FLeft + 1);
    path = (std::filesystem::path(FDumpFolder) / name).string();
    Hex::SaveHexFile(path, FSimulator.Memory().Image());
  }
  FSimulator.Remove();
  ++FLeft;
  return path;
}

std::string TSocketOperator::Execute(const std::string& line) {
  std::istringstream words(line);
  std::string command, file, extra;
  words >> command >> file >> extra;
  try {
    if (command == "insert" && extra.empty()) {
      TChipMemory chip(FChip);
      if (!file.empty()) chip.Load(Hex::LoadHexFile(file));  // checked before anything moves
      const std::string dumped = TakeOut();
      FSimulator.Insert(std::move(chip));
      return "inserted " + std::string(FChip.Name) + (file.empty() ? " (blank)" : " holding " + file) +
             (dumped.empty() ? "" : "; the one before went to " + dumped);
    }
    if (command == "remove" && file.empty()) {
      if (!FSimulator.Occupied()) return "error: the socket is empty";
      const std::string dumped = TakeOut();
      return "removed" + (dumped.empty() ? "" : " to " + dumped);
    }
    if (command == "dump" && !file.empty() && extra.empty()) {
      if (!FSimulator.Occupied()) return "error: the socket is empty";
      Hex::SaveHexFile(file, FSimulator.Memory().Image());
      return "dumped to " + file;
    }
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
  return "error: '" + line + "': the commands are insert [FILE], remove and dump FILE";
}

std::string TSocketOperator::Finish() { return TakeOut(); }

}  // namespace Sim
