#pragma once
#include <map>
#include <string>
#include <vector>

#include "record/ChipRecord.h"

namespace Station {

// The run's chips so far: how many, how many passed, and which socket failed which chip.
class TTally {
public:
  void Add(const std::string& port, Record::TChipKey chip, Record::TChipResult result,
           const std::string& detail);
  long Chips() const { return FChips; }
  long Passed() const { return FPassed; }
  bool AllPassed() const { return FPassed == FChips; }

  // "12 chips, 11 passed, 1 failed, yield 91.7 %"
  std::string Total() const;
  // The total, the chips per hour over the run's seconds, and each failed chip under its
  // socket, with the first line of what went wrong.
  std::string Summary(double seconds) const;

private:
  long FChips = 0;
  long FPassed = 0;
  std::map<std::string, std::vector<std::string>> FFailed;  // by port, in the order they came
};

}  // namespace Station
