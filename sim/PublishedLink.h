#pragma once
#include <string>

namespace Sim {

// A symbolic link to the simulator's slave, removed again when the simulator ends.
class TPublishedLink {
public:
  // Creates `path` -> `target`. An existing symbolic link at `path` is replaced; anything else
  // there is left alone and reported by throwing ESimulator.
  TPublishedLink(std::string path, std::string target);
  ~TPublishedLink();
  TPublishedLink(const TPublishedLink&) = delete;
  TPublishedLink& operator=(const TPublishedLink&) = delete;

  const std::string& Path() const { return FPath; }

private:
  std::string FPath;
  std::string FTarget;
};

// The directory where running simulators announce themselves: $TOLVANE_SIM_DIR or
// /tmp/tolvane-sim, created world-writable and sticky when missing.
std::string PublishDirectory();

}  // namespace Sim
