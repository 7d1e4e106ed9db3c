// tolvane-cli's info command, its JSON, and the configuration settings and warnings of write,
// against the simulated programmer on a pseudo-terminal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>

#include "PublishedLink.h"
#include "Simulator.h"
#include "Unit1/TempDir.h"
#include "cli/CliRun.h"
#include "config/ConfigOptions.h"
#include "firmware/FirmwareFiles.h"
#include "image/ImageCheck.h"
#include "image/ImageDigest.h"
#include "link/ChipTable.h"
#include "serial/Stamp.h"

namespace {

using nlohmann::json;

const std::string Count877a = Firmware::Files[1].Path;
const std::string Toggle630 = Firmware::Files[2].Path;

struct TSim {
  explicit TSim(const char* chip) {
    Sim::TDeviceOptions options;
    options.ProgMs = 0;
    Sim = std::make_unique<Sim::TSimulator>(Sim::TChipMemory(*Sim::FindChip(chip)), options, 0);
    Sim->Start();
  }
  const std::string& Port() const { return Sim->SlavePath(); }
  std::unique_ptr<Sim::TSimulator> Sim;
};

struct TResult {
  int Status;
  std::string Out, Err;
};

TResult Cli(std::vector<std::string> args) {
  TCliRun run(std::move(args));
  const int status = run.Wait();
  return {status, run.Out, run.Err};
}

std::uint16_t ConfigWord(const Hex::THexImage& image) { return Image::ConfigWordOf(image).value_or(0); }

class CliInfo : public ::testing::Test {
protected:
  void SetUp() override { ::setenv("TOLVANE_SIM_DIR", Dir.File("ports").c_str(), 1); }
  TTempDir Dir;
};

}  // namespace

TEST_F(CliInfo, TellsWhatAFileSetsAndWhatItsConfigurationMeansForAChip) {
  const Hex::THexImage image = Image::LoadImage(Toggle630).Bytes;
  const TResult text = Cli({"info", Toggle630, "--chip", "pic16f630"});
  EXPECT_EQ(text.Status, 0) << text.Err;
  EXPECT_NE(text.Out.find("\nSHA-256:            " + Image::ImageDigest(image) + "\n"), std::string::npos) << text.Out;
  EXPECT_NE(text.Out.find("\n  MCLRE  MCLRE_OFF     RA3/MCLR pin function is digital I/O"), std::string::npos);
  EXPECT_NE(text.Out.find("\nWarnings:\n  configuration word "), std::string::npos);

  const TResult js = Cli({"info", Toggle630, "--chip", "PIC16F630", "--json"});
  ASSERT_EQ(js.Status, 0) << js.Err;
  const json j = json::parse(js.Out);
  EXPECT_EQ(j["chip"], "PIC16F630");
  EXPECT_EQ(j["config_word"], ConfigWord(image));
  EXPECT_EQ(j["config"]["header"], "p16f630.inc");
  EXPECT_EQ(j["config"]["settings"][3]["name"], "MCLRE_OFF");
  EXPECT_EQ(j["warnings"].size(), 1u);
  EXPECT_EQ(j["sha256"], Image::ImageDigest(image));

  // Without a chip, the file alone; a chip unknown, or named twice, is a usage error.
  const json plain = json::parse(Cli({"info", "--json", Toggle630}).Out);
  EXPECT_EQ(plain["config"], nullptr);
  EXPECT_EQ(plain["eeprom"]["bytes"], 6);
  EXPECT_EQ(Cli({"info", Toggle630, "--chip", "PIC16F628"}).Status, 2);
  EXPECT_EQ(Cli({"--port", Dir.File("ttyNONE"), "info", Toggle630, "--chip", "PIC16F630"}).Status, 2);
  EXPECT_EQ(Cli({"info", Dir.Write("junk.hex", "junk")}).Status, 3);
}

// A chip stamped with a number, read out and given to info with the number's layout.
TEST_F(CliInfo, IdentifiesTheChipAtThePortAndShowsTheNumberOfADump) {
  TSim sim("PIC16F877A");
  const Image::TImageFile file = Image::LoadImage(Count877a);
  const Serial::TSerialLayout layout = Serial::MakeLayout("eeprom:0x40", "dec", 4);
  const Hex::THexImage stamped =
      Serial::Stamped(file.Bytes, Image::LayoutOf(ChipNamed("PIC16F877A")), Serial::StampOf(4711, layout), false);
  ASSERT_EQ(Cli({"--port", sim.Port(), "--quiet", "write", Dir.Write("stamped.hex", Hex::WriteHex(stamped))}).Status, 0);
  ASSERT_EQ(Cli({"--port", sim.Port(), "--quiet", "read", "-o", Dir.File("dump.hex")}).Status, 0);

  const TResult info = Cli({"--port", sim.Port(), "info", Dir.File("dump.hex"), "--serial-at", "eeprom:0x40",
                            "--serial-format", "dec", "--json"});
  ASSERT_EQ(info.Status, 0) << info.Err;
  const json j = json::parse(info.Out);
  EXPECT_EQ(j["chip"], "PIC16F877A");
  EXPECT_EQ(j["program"]["words"], 8192);
  EXPECT_EQ(j["serial"]["number"], 4711);
  const TResult other = Cli({"info", Dir.File("dump.hex"), "--serial-at", "eeprom:0x44", "--serial-format", "dec"});
  EXPECT_NE(other.Out.find("\nSerial number:      none (eeprom:0x0044, dec, 4 decimal characters)\n"), std::string::npos)
      << other.Out;
  EXPECT_EQ(Cli({"info", Count877a, "--serial-format", "dec"}).Status, 2);  // where?
}

TEST_F(CliInfo, WriteWarnsBeforeSendingAndSetsTheConfigurationByName) {
  TSim sim("PIC16F877A");
  const Hex::THexImage blank = sim.Sim->Memory().Image();
  const TResult unknown = Cli({"--port", sim.Port(), "write", "--config", "FOSC_INTRCIO", Count877a});
  EXPECT_EQ(unknown.Status, 2);
  EXPECT_NE(unknown.Err.find("FOSC_INTRCIO: the PIC16F877A has no such setting; its settings (p16f877a.inc):\n"
                             "  FOSC: FOSC_LP, FOSC_XT, FOSC_HS, FOSC_EXTRC\n"),
            std::string::npos) << unknown.Err;
  EXPECT_EQ(sim.Sim->Memory().Image(), blank);

  const TResult write = Cli({"--port", sim.Port(), "write", "--config", "WDTE_ON", "--config", "lvp_on", Count877a});
  EXPECT_EQ(write.Status, 0) << write.Err;
  const ChipConfig::TConfigTable& table = *ChipConfig::ConfigTableOf("PIC16F877A");
  const std::uint16_t expected =
      ChipConfig::Apply(table, ChipConfig::Apply(table, ConfigWord(Image::LoadImage(Count877a).Bytes), "WDTE_ON"), "LVP_ON");
  EXPECT_EQ(ConfigWord(sim.Sim->Memory().Image()), expected);
  const std::size_t warning = write.Err.find("tolvane-cli: warning: configuration word ");
  EXPECT_NE(warning, std::string::npos) << write.Err;
  EXPECT_LT(warning, write.Err.find("Writing PIC16F877A"));
  EXPECT_NE(write.Err.find("(LVP_ON)", warning), std::string::npos);
}

TEST_F(CliInfo, IdentifyAndPortsGiveJson) {
  TSim sim("PIC16F84A");
  const Sim::TPublishedLink link(Sim::PublishDirectory() + "/ttySIM" + std::to_string(::getpid()), sim.Port());
  const TResult identify = Cli({"--port", sim.Port(), "identify", "--json"});
  ASSERT_EQ(identify.Status, 0) << identify.Err;
  const json chip = json::parse(identify.Out);
  EXPECT_EQ(chip["chip"], "PIC16F84A");
  EXPECT_EQ(chip["id_word"].get<std::string>().substr(0, 3), "056");  // the device ID, any revision

  const json ports = json::parse(Cli({"ports", "--json"}).Out);
  const auto simulated = std::find_if(ports.begin(), ports.end(), [&](const json& p) { return p["name"] == link.Path(); });
  ASSERT_NE(simulated, ports.end()) << ports.dump();
  EXPECT_EQ((*simulated)["device"], sim.Port());
  EXPECT_EQ((*simulated)["simulator"], true);
  EXPECT_EQ((*simulated)["usb"], nullptr);
}
