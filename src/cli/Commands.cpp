#include "cli/Commands.h"

#include <cstdio>
#include <functional>
#include <map>
#include <vector>

#include "cli/ChipReports.h"
#include "cli/Failure.h"
#include "cli/Files.h"
#include "cli/Info.h"
#include "cli/Json.h"
#include "cli/LinkSession.h"
#include "cli/PortChoice.h"
#include "hex/HexImage.h"
#include "image/ChipLayout.h"
#include "image/ImageCheck.h"
#include "image/ImageFile.h"
#include "link/ChipTable.h"

namespace Cli {

namespace {

// What a command tells besides its data, on standard error. Reports of work done count as
// progress, which --quiet keeps back; notices (what was left out or could not be checked)
// always go out.
class TNews {
public:
  explicit TNews(bool quiet) : FQuiet(quiet) {}
  void Report(const std::string& text) const {
    if (!FQuiet) Notice(text);
  }
  void Notice(const std::string& text) const { std::fprintf(stderr, "%s\n", text.c_str()); }

private:
  bool FQuiet;
};

Hex::THexImage ParseReadAnswer(const std::string& answer) {
  try {
    return Hex::ReadHex(answer);
  } catch (const Hex::EHexFormat& e) {
    throw ECommand(ecProgrammer, "the programmer's read answer is not Intel HEX: " + e.Message());
  }
}

// An image that sets nothing has nothing to write or compare: success would say nothing.
void RequireData(const Image::TImageFile& file) {
  if (file.Bytes.empty())
    throw ECommand(ecBadFile, file.Name + ": holds no data, only an end-of-file record");
}

// A port opened, a known chip identified, and the expected one if one is expected.
class TConnection {
public:
  explicit TConnection(const TOptions& options)
      : Progress(TProgress::ModeFor(stderr, options.Quiet), stderr), Session(Progress) {
    const TPortChoice port = ChoosePort(options.Port);
    Session.Connect(port);
    const std::string& chip = Session.Chip().ChipName;
    const std::string expected = ChipNamed(options.Expect).ChipName;
    if (!options.Expect.empty() && expected != chip)
      throw ECommand(ecProgrammer, port.Name + ": the programmer holds a " + chip + ", not the expected " + expected);
    Layout = Image::LayoutOf(Session.Chip());
  }

  Hex::THexImage Read(const std::string& label) { return ParseReadAnswer(Session.Read(label)); }

  TProgress Progress;
  TLinkSession Session;
  Image::TChipLayout Layout;
};

std::string OutsideText(const Image::TImageFile& file, const Image::TChipLayout& chip,
                        const std::vector<std::string>& outside) {
  return file.Name + ": " + Count(outside.size(), "location") + (outside.size() == 1 ? " lies" : " lie") +
         " outside the " + chip.Name + ":" + Listed(outside);
}

// Whether the file fits the chip; without `force` a file that does not ends the command.
// `rest` says what --force does with the rest.
bool RequireFit(const Image::TImageFile& file, const Image::TChipLayout& chip, bool force,
                const TNews& news, const char* rest) {
  const std::vector<std::string> outside = Image::OutsideChip(file, chip);
  if (outside.empty()) return true;
  if (!force)
    throw ECommand(ecBadFile, OutsideText(file, chip, outside) + "\n--force leaves them out and " + rest + ".");
  news.Notice(OutsideText(file, chip, outside) + "\nLeaving them out, as --force asks.");
  return false;
}

// Compares the chip with the file; the chip must hold it.
void Verify(TConnection& link, const Image::TImageFile& file, const char* done, const TNews& news) {
  const std::string& chip = link.Layout.Name;
  const Image::TComparison result = Image::Compare(file, link.Read("Verifying " + chip), link.Layout);
  if (!result.Holds())
    throw ECommand(ecNotHeld, Differences(file, chip, result.Differences));
  news.Report(file.Name + ": " + done + ", " + Count(result.Verified, "location"));
  if (result.Unverifiable)
    news.Notice(file.Name + ": " + Count(result.Unverifiable, "location") +
                " could not be verified: the configuration turns on code protection, and protected "
                "memory reads as zeros");
}

void Ports(const TOptions& options) {
  const std::vector<TSerialPortDetails> ports = MachinePorts();
  WriteStandardOutput(options.Json ? PortsJson(ports) : PortTable(ports));
}

void Identify(const TOptions& options) {
  TConnection link(options);
  const std::string id = link.Session.IdWord();
  WriteStandardOutput(options.Json ? IdentifyJson(link.Layout.Name, id)
                                   : link.Layout.Name + (id.empty() ? "" : " (ID word " + id + ")") + "\n");
}

void Info(const TOptions& options) { WriteStandardOutput(InfoReport(options)); }

void Read(const TOptions& options) {
  TOutput output(options.Output);
  TConnection link(options);
  const std::string answer = link.Session.Read("Reading " + link.Layout.Name);
  ParseReadAnswer(answer);
  output.Write(answer);
  if (!output.Standard()) TNews(options.Quiet).Report(output.Name() + ": " + link.Layout.Name + " read");
}

void Write(const TOptions& options) {
  const TNews news(options.Quiet);
  std::string text;
  Image::TImageFile file = LoadImageArgument(options.File, text);
  RequireData(file);
  TConnection link(options);
  const std::string& chip = link.Layout.Name;
  const bool fits = RequireFit(file, link.Layout, options.Force, news, "writes the rest");
  // The --config settings, and the warnings before anything is sent.
  file.Bytes = PrepareWrite(file.Bytes, link.Layout, options.Config).Bytes;
  // Locations past a chip's end are not sent: a programmer may wrap them onto real ones.
  if (!fits || !options.Config.empty()) {
    const Hex::THexImage inside = Image::WithinChip(file.Bytes, link.Layout);
    if (inside.empty()) throw ECommand(ecBadFile, file.Name + ": nothing of it lies inside the " + chip);
    text = Hex::WriteHex(inside, "\r\n");
  }
  // Words of an earlier image that this one does not set would stay, and verify, which
  // compares only the file's locations, would not see them.
  if (!options.NoErase) {
    link.Progress.Step("Erasing the " + chip + " first (--no-erase keeps what " + file.Name + " does not set)");
    link.Session.Erase(link.Layout.EraseSeconds());
  }
  const std::vector<std::string> failures = link.Session.Write(text, link.Layout.ProgrammingSeconds(file.Bytes));
  if (!failures.empty()) throw ECommand(ecNotHeld, FailedLocations(file, chip, failures));
  if (options.NoVerify) {
    news.Report(file.Name + ": written to the " + chip + " (not verified)");
    return;
  }
  try {
    Verify(link, file, "written and verified", news);
  } catch (const ECommand& e) {
    if (e.Code() != ecInterrupted) throw;
    throw ECommand(ecInterrupted, "interrupted: " + file.Name + " was written and the programmer confirmed it, "
                                  "but it was not verified");
  }
}

void VerifyCommand(const TOptions& options) {
  const TNews news(options.Quiet);
  std::string text;
  const Image::TImageFile file = LoadImageArgument(options.File, text);
  RequireData(file);
  TConnection link(options);
  RequireFit(file, link.Layout, options.Force, news, "compares the rest");
  Verify(link, file, "verified", news);
}

void Erase(const TOptions& options) {
  TConnection link(options);
  link.Session.Erase(link.Layout.EraseSeconds());
  TNews(options.Quiet).Report(link.Layout.Name + " erased");
}

void BlankCheck(const TOptions& options) {
  TConnection link(options);
  const std::vector<std::string> data = Image::NotBlank(link.Read("Reading " + link.Layout.Name), link.Layout);
  if (!data.empty())
    throw ECommand(ecNotHeld, "the " + link.Layout.Name + " is not blank: " + Count(data.size(), "location") +
                                  (data.size() == 1 ? " holds" : " hold") + " data:" + Listed(data));
  TNews(options.Quiet).Report("the " + link.Layout.Name + " is blank");
}

}  // namespace

void RunCommand(const TOptions& options) {
  static const std::map<std::string, std::function<void(const TOptions&)>> commands = {
      {"ports", Ports}, {"identify", Identify}, {"info", Info}, {"read", Read}, {"write", Write},
      {"verify", VerifyCommand}, {"erase", Erase}, {"blank-check", BlankCheck}};
  const auto it = commands.find(options.Command);
  if (it == commands.end()) throw ECommand(ecUsage, "unknown command " + options.Command);
  ExpectedChip(options);
  it->second(options);
}

std::string ExpectedChip(const TOptions& options) {
  if (options.Expect.empty()) return {};
  // A misspelt chip is a mistake in the command line, found before any port is opened.
  const std::string name = ChipNamed(options.Expect).ChipName;
  if (name == "Unknown") {
    std::string known;
    for (const std::string& chip : ChipNames()) known += " " + chip;
    throw ECommand(ecUsage, "--expect " + options.Expect + ": not a chip this program knows; it knows" + known);
  }
  return name;
}

}  // namespace Cli
