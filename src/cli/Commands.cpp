#include "cli/Commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "cli/Failure.h"
#include "cli/Info.h"
#include "cli/Json.h"
#include "cli/LinkSession.h"
#include "cli/PortChoice.h"
#include "framework/Convert.h"
#include "hex/HexImage.h"
#include "image/ChipLayout.h"
#include "image/ImageCheck.h"
#include "image/ImageFile.h"

namespace Cli {

namespace {

// Messages list this many locations and count the rest.
constexpr std::size_t ShownLocations = 10;

std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size() && i < ShownLocations; ++i) text += "\n  " + items[i];
  if (items.size() > ShownLocations)
    text += "\n  ... and " + std::to_string(items.size() - ShownLocations) + " more";
  return text;
}

// What a command has to tell besides its data; --quiet keeps it back.
class TNews {
public:
  explicit TNews(bool quiet) : FQuiet(quiet) {}
  void operator()(const std::string& text) const {
    if (!FQuiet) std::fprintf(stderr, "%s\n", text.c_str());
  }

private:
  bool FQuiet;
};

Image::TImageFile LoadFile(const std::string& path, std::string& text) {
  try {
    return Image::LoadImage(path, &text);
  } catch (const Hex::EHexFormat& e) {
    throw ECommand(ecBadFile, e.Message());
  }
}

Hex::THexImage ParseReadAnswer(const std::string& answer) {
  try {
    return Hex::ReadHex(answer);
  } catch (const Hex::EHexFormat& e) {
    throw ECommand(ecProgrammer, "the programmer's read answer is not Intel HEX: " + e.Message());
  }
}

void WriteAll(std::FILE* out, const std::string& text, const std::string& name) {
  if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0)
    throw ECommand(ecBadFile, name + ": cannot write: " + std::strerror(errno));
}

// A port opened, a known chip identified, and the expected one if one is expected.
class TConnection {
public:
  explicit TConnection(const TOptions& options)
      : Progress(TProgress::ModeFor(stderr, options.Quiet), stderr), Session(Progress) {
    const std::string port = ChoosePort(options.Port);
    Session.Connect(port);
    const std::string& chip = Session.Chip().ChipName;
    if (!options.Expect.empty() && !SameTextAscii(options.Expect, chip))
      throw ECommand(ecProgrammer, port + ": the programmer holds a " + chip + ", not the expected " +
                                       options.Expect);
    Layout = Image::LayoutOf(Session.Chip());
  }

  Hex::THexImage Read(const std::string& label) { return ParseReadAnswer(Session.Read(label)); }

  TProgress Progress;
  TLinkSession Session;
  Image::TChipLayout Layout;
};

std::string OutsideText(const Image::TImageFile& file, const Image::TChipLayout& chip,
                        const std::vector<std::string>& outside) {
  return file.Name + ": " + std::to_string(outside.size()) + " locations lie outside the " +
         chip.Name + ":" + Listed(outside);
}

// Whether the file fits the chip; without `force` a file that does not ends the write.
bool RequireFit(const Image::TImageFile& file, const Image::TChipLayout& chip, bool force,
                const TNews& news) {
  const std::vector<std::string> outside = Image::OutsideChip(file, chip);
  if (outside.empty()) return true;
  if (!force)
    throw ECommand(ecBadFile, OutsideText(file, chip, outside) + "\n--force leaves them out and writes the rest.");
  news(OutsideText(file, chip, outside) + "\nLeaving them out, as --force asks.");
  return false;
}

// Compares the chip with the file; the chip must hold it.
void Verify(TConnection& link, const Image::TImageFile& file, const char* done, const TNews& news) {
  const Image::TComparison result =
      Image::Compare(file, link.Read("Verifying " + link.Layout.Name), link.Layout);
  if (!result.Holds())
    throw ECommand(ecNotHeld, file.Name + ": the " + link.Layout.Name + " differs in " +
                                  std::to_string(result.Differences.size()) + " locations:" +
                                  Listed(result.Differences));
  std::string text = file.Name + ": " + done + ", " + std::to_string(result.Verified) + " locations";
  if (result.Unverifiable)
    text += "; " + std::to_string(result.Unverifiable) +
            " could not be verified: the configuration turns on code protection, and protected "
            "memory reads as zeros";
  news(text);
}

void Ports(const TOptions& options) {
  std::vector<TSerialPortDetails> ports;
  try {
    ports = MachinePorts();
  } catch (const EComPort& e) {
    throw ECommand(ecPort, "cannot list the serial ports: " + e.Message());
  }
  WriteAll(stdout, options.Json ? PortsJson(ports) : PortTable(ports), "standard output");
}

void Identify(const TOptions& options) {
  TConnection link(options);
  const std::string id = link.Session.IdWord();
  WriteAll(stdout,
           options.Json ? IdentifyJson(link.Layout.Name, id)
                        : link.Layout.Name + (id.empty() ? "" : " (ID word " + id + ")") + "\n",
           "standard output");
}

void Info(const TOptions& options) { WriteAll(stdout, InfoReport(options), "standard output"); }

void Read(const TOptions& options) {
  TConnection link(options);
  const std::string answer = link.Session.Read("Reading " + link.Layout.Name);
  ParseReadAnswer(answer);
  if (options.Output.empty()) {
    WriteAll(stdout, answer, "standard output");
    return;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(options.Output.c_str(), "wb"), std::fclose);
  if (!out) throw ECommand(ecBadFile, options.Output + ": cannot create: " + std::strerror(errno));
  WriteAll(out.get(), answer, options.Output);
  if (std::fclose(out.release()) != 0)
    throw ECommand(ecBadFile, options.Output + ": cannot write: " + std::strerror(errno));
  TNews(options.Quiet)(options.Output + ": " + link.Layout.Name + " read");
}

void Write(const TOptions& options) {
  const TNews news(options.Quiet);
  std::string text;
  Image::TImageFile file = LoadFile(options.File, text);
  TConnection link(options);
  const bool fits = RequireFit(file, link.Layout, options.Force, news);
  // The --config settings, and the warnings before anything is sent.
  file.Bytes = PrepareWrite(file.Bytes, link.Layout, options.Config).Bytes;
  // Locations past a chip's end are not sent: a programmer may wrap them onto real ones.
  if (!fits || !options.Config.empty())
    text = Hex::WriteHex(Image::WithinChip(file.Bytes, link.Layout), "\r\n");
  const std::vector<std::string> failures =
      link.Session.Write(text, link.Layout.ProgrammingSeconds(file.Bytes));
  if (!failures.empty()) {
    std::string reports;
    for (const std::string& failure : failures) reports += "\n  " + failure;
    throw ECommand(ecNotHeld, file.Name + ": the programmer reported failed locations:" + reports);
  }
  if (options.NoVerify) {
    news(file.Name + ": written to the " + link.Layout.Name + " (not verified)");
    return;
  }
  Verify(link, file, "written and verified", news);
}

void VerifyCommand(const TOptions& options) {
  std::string text;
  const Image::TImageFile file = LoadFile(options.File, text);
  TConnection link(options);
  const std::vector<std::string> outside = Image::OutsideChip(file, link.Layout);
  if (!outside.empty()) throw ECommand(ecBadFile, OutsideText(file, link.Layout, outside));
  Verify(link, file, "verified", TNews(options.Quiet));
}

void Erase(const TOptions& options) {
  TConnection link(options);
  link.Session.Erase(link.Layout.EraseSeconds());
  TNews(options.Quiet)(link.Layout.Name + " erased");
}

void BlankCheck(const TOptions& options) {
  TConnection link(options);
  const std::vector<std::string> data = Image::NotBlank(link.Read("Reading " + link.Layout.Name), link.Layout);
  if (!data.empty())
    throw ECommand(ecNotHeld, "the " + link.Layout.Name + " is not blank: " + std::to_string(data.size()) +
                                  " locations hold data:" + Listed(data));
  TNews(options.Quiet)("the " + link.Layout.Name + " is blank");
}

}  // namespace

void RunCommand(const TOptions& options) {
  static const std::map<std::string, std::function<void(const TOptions&)>> commands = {
      {"ports", Ports}, {"identify", Identify}, {"info", Info}, {"read", Read}, {"write", Write},
      {"verify", VerifyCommand}, {"erase", Erase}, {"blank-check", BlankCheck}};
  const auto it = commands.find(options.Command);
  if (it == commands.end()) throw ECommand(ecUsage, "unknown command " + options.Command);
  it->second(options);
}

}  // namespace Cli
