#include "cli/SocketProgrammer.h"

#include "CPort/EComPort.h"
#include "cli/ChipReports.h"
#include "cli/Failure.h"
#include "hex/HexImage.h"
#include "image/ChipLayout.h"
#include "image/ImageCheck.h"

namespace Cli {

namespace {

using Station::TWorkerEvent;

TWorkerEvent Event(Station::TEventKind kind, std::string text, int number = 0) {
  TWorkerEvent event;
  event.Kind = kind;
  event.Text = std::move(text);
  event.Number = number;
  return event;
}

}  // namespace

void TLinkSocketProgrammer::Load(const std::string& imageText, const std::string& name) {
  FText = imageText;
  FFile = Image::ParseImage(imageText, name);
}

void TLinkSocketProgrammer::Identify(const TReport& report) {
  FIdentified = false;
  // The port is opened afresh for each identification, as the window's Identify does: the end
  // of the last answer may still be on its way, and the identification takes the first
  // characters that come.
  FSession.reset();
  FSession = std::make_unique<TLinkSession>(FProgress);
  TWorkerEvent event;
  try {
    FSession->Connect(TPortChoice{FPort, {}});
    event.Kind = Station::ekChip;
    event.SizeCode = FSession->Chip().SizeCode;
    event.Text = FSession->Chip().ChipName;
  } catch (const ECommand& e) {
    // An empty socket and a chip this program does not know are answers, not failures.
    const std::string& name = FSession->Chip().ChipName;
    if (name == "None") event.Kind = Station::ekEmpty;
    else if (name == "Unknown" && !FSession->IdWord().empty()) event = Event(Station::ekChip, name);
    else event = Event(Station::ekError, e.Message(), e.Code());
  } catch (const EComPort& e) {
    event = Event(Station::ekError, FPort + ": " + e.Message(), ecPort);
  }
  event.IdWord = FSession->IdWord();
  FIdentified = event.Kind == Station::ekChip && !event.SizeCode.empty();
  report(event);
  if (!FIdentified) FSession.reset();
}

TWorkerEvent TLinkSocketProgrammer::Steps(const TReport& report) {
  const Image::TChipLayout layout = Image::LayoutOf(FSession->Chip());
  if (FErase) {
    report(Event(Station::ekStep, "erase"));
    FSession->Erase(layout.EraseSeconds());
  }
  report(Event(Station::ekStep, "write"));
  const std::vector<std::string> failures = FSession->Write(FText, layout.ProgrammingSeconds(FFile.Bytes));
  if (!failures.empty())
    return Event(Station::ekFail, FailedLocations(FFile, layout.Name, failures));

  report(Event(Station::ekStep, "verify"));
  Hex::THexImage read;
  try {
    read = Hex::ReadHex(FSession->Read("Verifying"));
  } catch (const Hex::EHexFormat& e) {
    return Event(Station::ekError, "the programmer's read answer is not Intel HEX: " + e.Message(), ecProgrammer);
  }
  const Image::TComparison result = Image::Compare(FFile, read, layout);
  if (!result.Holds())
    return Event(Station::ekFail, Differences(FFile, layout.Name, result.Differences));
  std::string text = std::to_string(result.Verified) + " locations verified";
  if (result.Unverifiable)
    text += ", " + std::to_string(result.Unverifiable) + " not verifiable under code protection";
  return Event(Station::ekPass, text);
}

void TLinkSocketProgrammer::Program(const TReport& report) {
  TWorkerEvent end;
  if (!FSession || !FIdentified) {
    end = Event(Station::ekError, "no chip was identified", ecProgrammer);
  } else {
    FProgress.OnPercent = [&report](int percent) { report(Event(Station::ekProgress, {}, percent)); };
    try {
      end = Steps(report);
    } catch (const ECommand& e) {
      end = Event(Station::ekError, e.Message(), e.Code());
    } catch (const EComPort& e) {
      end = Event(Station::ekError, FPort + ": " + e.Message(), ecPort);
    } catch (const Exception& e) {
      end = Event(Station::ekError, FPort + ": " + e.Message(), ecProgrammer);
    }
    FProgress.OnPercent = nullptr;
  }
  FIdentified = false;
  report(end);
  FSession.reset();  // the port is let go between chips
}

}  // namespace Cli
