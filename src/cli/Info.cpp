#include "cli/Info.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/Failure.h"
#include "cli/Files.h"
#include "cli/LinkSession.h"
#include "config/ConfigOptions.h"
#include "image/ImageCheck.h"
#include "image/ImageDigest.h"
#include "image/ImageFile.h"
#include "image/ImageSummary.h"
#include "link/ChipTable.h"
#include "serial/Stamp.h"

namespace Cli {

namespace {

using json = nlohmann::ordered_json;  // keys in the order written

// Everything the report tells.
struct TInfo {
  Image::TImageFile File;
  std::optional<Image::TChipLayout> Chip;  // none given
  Image::TChipLayout Layout;               // the chip, or the largest memories of any
  Hex::THexImage Bytes;                    // with the --config settings applied
  Image::TImageSummary Summary;
  const ChipConfig::TConfigTable* Table = nullptr;
  std::vector<ChipConfig::TSetting> Settings;
  std::vector<std::string> Warnings;
  std::string Digest;
  std::optional<Serial::TSerialLayout> SerialLayout;
  std::optional<std::uint64_t> Number;
};

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

ChipConfig::TPreparedImage Prepared(const Hex::THexImage& image, const Image::TChipLayout& chip,
                                    const std::vector<std::string>& config) {
  try {
    return ChipConfig::PrepareImage(image, chip, config);
  } catch (const ChipConfig::EConfig& e) {
    throw ECommand(ecUsage, "--config " + e.Message());
  }
}

std::optional<Image::TChipLayout> ChosenChip(const TOptions& options) {
  if (!options.Chip.empty() && !options.Port.empty())
    throw ECommand(ecUsage, "info: --chip and --port both name the chip; give one of them");
  if (!options.Chip.empty()) {
    const TChip chip = ChipNamed(options.Chip);
    if (chip.ChipName == "Unknown") {
      std::string known;
      for (const std::string& name : ChipNames()) known += " " + name;
      throw ECommand(ecUsage, options.Chip + ": not a chip this program knows; it knows" + known);
    }
    return Image::LayoutOf(chip);
  }
  if (options.Port.empty()) return std::nullopt;
  TProgress quiet(TProgress::pmQuiet, stderr);
  TLinkSession session(quiet);
  session.Connect({options.Port, {}});
  const std::string& chip = session.Chip().ChipName;
  const std::string expected = ChipNamed(options.Expect).ChipName;
  if (!options.Expect.empty() && expected != chip)
    throw ECommand(ecProgrammer, options.Port + ": the programmer holds a " + chip + ", not the expected " +
                                     expected);
  return Image::LayoutOf(session.Chip());
}

TInfo Gather(const TOptions& options) {
  TInfo info;
  std::string text;
  info.File = LoadImageArgument(options.File, text);
  std::optional<Serial::TSerialLayout> serial;
  try {
    if (!options.SerialAt.empty())
      serial = Serial::MakeLayout(options.SerialAt, options.SerialFormat, options.SerialWidth);
  } catch (const Serial::ESerial& e) {
    throw ECommand(ecUsage, e.Message());
  }
  info.Chip = ChosenChip(options);
  info.Layout = info.Chip ? *info.Chip : Image::AnyChipLayout();
  if (!info.Chip && !options.Config.empty())
    throw ECommand(ecUsage, "info: --config needs the chip (--chip or --port)");
  const ChipConfig::TPreparedImage prepared = Prepared(info.File.Bytes, info.Layout, options.Config);
  info.Bytes = prepared.Bytes;
  info.Warnings = prepared.Warnings;
  info.Summary = Image::Summarize(info.Bytes, info.Layout);
  info.Table = info.Chip ? ChipConfig::ConfigTableOf(info.Chip->Name) : nullptr;
  if (info.Table && info.Summary.ConfigWord) info.Settings = ChipConfig::Decode(*info.Table, *info.Summary.ConfigWord);
  info.Digest = Image::ImageDigest(info.Bytes);
  info.SerialLayout = serial;
  if (serial) info.Number = Serial::ReadNumber(info.Bytes, *serial);
  return info;
}

std::string Ranges(const std::vector<Image::TAddressRange>& ranges, int digits) {
  std::string text;
  for (const Image::TAddressRange& r : ranges)
    text += (text.empty() ? "" : ", ") + Hex(r.First, digits) + (r.Last > r.First ? "-" + Hex(r.Last, digits) : "");
  return text;
}

std::string Text(const TInfo& info) {
  const Image::TImageSummary& s = info.Summary;
  std::string text;
  auto line = [&](const char* label, const std::string& value) {
    text += std::string(label) + std::string(20 - std::string_view(label).size(), ' ') + value + "\n";
  };
  line("File:", info.File.Name);
  line("Chip:", info.Chip ? info.Chip->Name : "none given (--chip or --port decodes the configuration word)");
  line("Program memory:", s.Program.empty() ? "none" : Ranges(s.Program, 4) + " (" + std::to_string(s.ProgramWords) + " words)");
  std::string ids;
  for (const auto& [address, value] : s.IdWords)
    ids += (ids.empty() ? "" : " ") + (s.IdWords.size() < Image::IdWords ? Hex(address, 4) + ": " : "") + Hex(value, 4);
  line("ID words:", ids.empty() ? "none" : ids);
  line("Configuration word:", s.ConfigWord ? Hex(*s.ConfigWord, 4) : "none");
  line("Data EEPROM:", s.Eeprom.empty() ? "none" : Ranges(s.Eeprom, 2) + " (" + std::to_string(s.EepromBytes) + " bytes)");
  std::string outside = s.Outside.empty() ? "none" : std::to_string(s.Outside.size()) + " locations";
  for (const std::string& where : Image::OutsideChip({info.File.Name, info.Bytes, info.File.Records}, info.Layout))
    outside += "\n  " + where;
  line("Outside the chip:", outside);
  line("SHA-256:", info.Digest);
  if (info.SerialLayout) {
    const std::string how = Serial::Describe(*info.SerialLayout);
    std::string number = "none";
    if (info.Number) {
      // A number kept in binary or hexadecimal reads better in hexadecimal too.
      const Serial::TSerialFormat format = info.SerialLayout->Format;
      number = std::to_string(*info.Number);
      if (format != Serial::sfDec && format != Serial::sfBcd && *info.Number > 9) {
        char hex[24];
        std::snprintf(hex, sizeof hex, " = 0x%llX", static_cast<unsigned long long>(*info.Number));
        number += hex;
      }
    }
    line("Serial number:", number + " (" + how + ")");
  }
  if (info.Table && s.ConfigWord) {
    text += "\nConfiguration word " + Hex(*s.ConfigWord, 4) + " by " + info.Table->Header + ":\n";
    std::size_t fieldWidth = 0, nameWidth = 0;
    for (const ChipConfig::TSetting& setting : info.Settings) {
      fieldWidth = std::max(fieldWidth, setting.Field->Name.size());
      nameWidth = std::max(nameWidth, setting.Option ? setting.Option->Name.size() : 0);
    }
    for (const ChipConfig::TSetting& setting : info.Settings) {
      const std::string& field = setting.Field->Name;
      const std::string name = setting.Option ? setting.Option->Name : "?";
      const std::string what = setting.Option ? setting.Option->Description
                                              : "bits " + Hex(setting.Bits, 4) + " name none of the header's options";
      text += "  " + field + std::string(fieldWidth - field.size() + 2, ' ') + name +
              std::string(nameWidth > name.size() ? nameWidth - name.size() + 2 : 2, ' ') + what + "\n";
    }
  }
  if (!info.Warnings.empty()) {
    text += "\nWarnings:\n";
    for (const std::string& warning : info.Warnings) text += "  " + warning + "\n";
  }
  return text;
}

json RangesJson(const std::vector<Image::TAddressRange>& ranges) {
  json list = json::array();
  for (const Image::TAddressRange& r : ranges) list.push_back({{"first", r.First}, {"last", r.Last}});
  return list;
}

std::string Json(const TInfo& info) {
  const Image::TImageSummary& s = info.Summary;
  json j;
  j["file"] = info.File.Name;
  j["chip"] = info.Chip ? json(info.Chip->Name) : json(nullptr);
  j["program"] = {{"ranges", RangesJson(s.Program)}, {"words", s.ProgramWords}};
  j["id_words"] = json::array();
  for (const auto& [address, value] : s.IdWords) j["id_words"].push_back({{"address", address}, {"value", value}});
  j["config_word"] = s.ConfigWord ? json(*s.ConfigWord) : json(nullptr);
  j["eeprom"] = {{"ranges", RangesJson(s.Eeprom)}, {"bytes", s.EepromBytes}};
  j["outside"] = json::array();
  for (std::uint32_t w : s.Outside) {
    std::size_t line = info.File.LineOf(w * 2);
    if (!line) line = info.File.LineOf(w * 2 + 1);
    j["outside"].push_back({{"address", w}, {"line", line}});
  }
  j["sha256"] = info.Digest;
  j["config"] = nullptr;
  if (info.Table && s.ConfigWord) {
    json settings = json::array();
    for (const ChipConfig::TSetting& setting : info.Settings)
      settings.push_back({{"setting", setting.Field->Name},
                          {"mask", setting.Field->Mask},
                          {"bits", setting.Bits},
                          {"name", setting.Option ? json(setting.Option->Name) : json(nullptr)},
                          {"description", setting.Option ? json(setting.Option->Description) : json(nullptr)}});
    j["config"] = {{"header", info.Table->Header}, {"settings", settings}};
  }
  j["warnings"] = info.Warnings;
  if (info.SerialLayout)
    j["serial"] = {{"layout", Serial::Describe(*info.SerialLayout)},
                   {"number", info.Number ? json(*info.Number) : json(nullptr)}};
  return j.dump(2) + "\n";
}

}  // namespace

std::string InfoReport(const TOptions& options) {
  const TInfo info = Gather(options);
  return options.Json ? Json(info) : Text(info);
}

ChipConfig::TPreparedImage PrepareWrite(const Hex::THexImage& image, const Image::TChipLayout& chip,
                                        const std::vector<std::string>& config) {
  ChipConfig::TPreparedImage prepared = Prepared(image, chip, config);
  // Not news: --quiet keeps progress back, not these.
  for (const std::string& warning : prepared.Warnings) std::fprintf(stderr, "tolvane-cli: warning: %s\n", warning.c_str());
  return prepared;
}

}  // namespace Cli
