// Production with serial numbers from an SQTP list and a configuration setting, on the SQLite
// record: each chip gets its own record's bytes in the changed image, and the chip after the
// last number is refused before anything is sent.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>

#include "ChipMemory.h"
#include "Simulator.h"
#include "Unit1/TempDir.h"
#include "cli/CliRun.h"
#include "config/ImagePreparation.h"
#include "firmware/FirmwareFiles.h"
#include "image/ImageCheck.h"
#include "image/ImageDigest.h"
#include "link/ChipTable.h"
#include "serial/NumList.h"
#include "serial/Stamp.h"

namespace {

const std::string Image877a = Firmware::Files[1].Path;

// An SQTP list: `count` random four-byte numbers for data EEPROM bytes 0x30-0x33, each byte
// with its pad byte, as HEX byte addresses 0x4260-0x4267.
std::string NumList(int count, std::mt19937& random) {
  std::string text;
  char line[64];
  for (int n = 0; n < count; ++n) {
    unsigned sum = 0x08 + 0x42 + 0x60;
    std::string data;
    for (int i = 0; i < 4; ++i) {
      const unsigned byte = random() & 0xFF;
      sum += byte;
      std::snprintf(line, sizeof line, "%02X00", byte);
      data += line;
    }
    std::snprintf(line, sizeof line, ":08426000%s%02X\r\n", data.c_str(), (0x100 - (sum & 0xFF)) & 0xFF);
    text += line;
  }
  return text + ":00000001FF\r\n";
}

std::string Query(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  std::string rows;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK)
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      rows += (rows.empty() ? "" : "|") + std::string(text ? text : "NULL");
    }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

}  // namespace

TEST(Numbered, TwentyNumbersForTwentyChipsAndTheTwentyFirstIsRefusedBeforeAnythingIsSent) {
  ::signal(SIGPIPE, SIG_IGN);
  TTempDir dir;
  std::mt19937 random(std::random_device{}());
  const std::string list = dir.File("numbers.num"), db = dir.File("record.db");
  std::ofstream(list, std::ios::binary) << NumList(20, random);
  const Sim::TChipMemory blank(*Sim::FindChip("PIC16F877A"));
  Sim::TDeviceOptions options;
  options.ProgMs = 0;
  Sim::TSimulator sim(blank, options, 0);
  sim.Start();

  // A setting the chip at the start does not have ends the run before it begins.
  TCliRun wrong({"production", Image877a, "--log", db, "--port", sim.SlavePath(), "--config", "WDTE_MAYBE"});
  EXPECT_EQ(wrong.Wait(), 2) << wrong.Out << wrong.Err;
  EXPECT_NE(wrong.Err.find("WDTE_ON"), std::string::npos) << wrong.Err;  // the chip's settings are listed

  TCliRun run({"production", Image877a, "--log", db, "--port", sim.SlavePath(), "--serial-file", list,
               "--config", "WDTE_ON"},
              TCliSetup{.Piped = true});
  std::vector<Hex::THexImage> chips;
  for (int chip = 1; chip <= 21; ++chip) {
    ASSERT_TRUE(run.AwaitOut("Load the chips and press Enter", chip)) << run.Out << run.Err;
    if (chip > 1) chips.push_back(sim.Remove()->Image());
    sim.Insert(blank);
    run.Tell("\n");
  }
  EXPECT_EQ(run.Wait(), 1) << run.Out << run.Err;
  EXPECT_NE(run.Out.find("the number list is used up"), std::string::npos) << run.Out;
  EXPECT_EQ(sim.Erases(), 20u);
  EXPECT_TRUE(Image::NotBlank(sim.Memory().Image(), Image::LayoutOf(ChipNamed("PIC16F877A"))).empty());

  const std::vector<Serial::TNumRecord> numbers = Serial::LoadNumList(list);
  Image::TImageFile file = Image::LoadImage(Image877a);
  const Image::TChipLayout layout = Image::LayoutOf(ChipNamed("PIC16F877A"));
  const Hex::THexImage plain = ChipConfig::PrepareImage(file.Bytes, layout, {"WDTE_ON"}).Bytes;
  ASSERT_NE(plain, file.Bytes);
  std::string expected;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const Serial::TStamp stamp = Serial::StampOf(numbers[i]);
    file.Bytes = Serial::Stamped(plain, layout, stamp, false);
    EXPECT_TRUE(Image::Compare(file, chips[i], layout).Holds()) << "chip " << i + 1;
    expected += (i ? "|" : "") + stamp.Number + " given";
  }
  EXPECT_EQ(Query(db, "SELECT serial || ' ' || serial_state FROM chips WHERE result = 'pass' ORDER BY id"), expected);
  EXPECT_EQ(Query(db, "SELECT DISTINCT image_digest FROM chips WHERE result = 'pass'"), Image::ImageDigest(plain));
  EXPECT_EQ(Query(db, "SELECT result || ': ' || detail || ' ' || ifnull(serial, '-') FROM chips WHERE id = 21"),
            "error: the number list is used up: its 20 numbers are given -");
}
