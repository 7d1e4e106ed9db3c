#pragma once
#include <memory>
#include <string>

#include "cli/LinkSession.h"
#include "cli/Progress.h"
#include "image/ImageFile.h"
#include "station/SocketWorker.h"

namespace Cli {

// A production socket's programmer, driven through the same link session as the write
// command: identification, erase (unless left out), write, read-back and comparison.
class TLinkSocketProgrammer : public Station::ISocketProgrammer {
public:
  TLinkSocketProgrammer(std::string port, bool erase) : FPort(std::move(port)), FErase(erase) {}

  void Load(const std::string& imageText, const std::string& name) override;
  void Identify(const TReport& report) override;
  void Program(const TReport& report) override;

private:
  // Runs the steps; throws what the session throws, returns the final event.
  Station::TWorkerEvent Steps(const TReport& report);

  std::string FPort;
  bool FErase;
  std::string FText;
  Image::TImageFile FFile;
  TProgress FProgress{TProgress::pmQuiet, stderr};
  // Open from a chip's identification to its end.
  std::unique_ptr<TLinkSession> FSession;
  bool FIdentified = false;  // a chip answered the last identification
};

}  // namespace Cli
