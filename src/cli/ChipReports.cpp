#include "cli/ChipReports.h"

#include "link/ChipTable.h"

namespace Cli {

namespace {

// Messages list this many locations and count the rest.
constexpr std::size_t ShownLocations = 10;

}  // namespace

std::string Count(std::size_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size() && i < ShownLocations; ++i) text += "\n  " + items[i];
  if (items.size() > ShownLocations) text += "\n  ... and " + std::to_string(items.size() - ShownLocations) + " more";
  return text;
}

std::string FailedLocations(const Image::TImageFile& file, const std::string& chip,
                            const std::vector<std::string>& addresses) {
  std::vector<std::string> items;
  for (const std::string& address : addresses) {
    if (address.size() == 4 && IsHexText(address))
      items.push_back(file.Where(std::stoul(address, nullptr, 16)) + "0x" + address +
                      ": the programmer could not program it");
    else
      items.push_back(file.Name + ": the programmer reported a failure at \"" + address + "\"");
  }
  return file.Name + ": the " + chip + " does not hold the image; the programmer reported " +
         Count(items.size(), "failed location") + ":" + Listed(items);
}

std::string Differences(const Image::TImageFile& file, const std::string& chip,
                        const std::vector<std::string>& differences) {
  return file.Name + ": the " + chip + " differs in " + Count(differences.size(), "location") + ":" +
         Listed(differences);
}

}  // namespace Cli
