// A line of two stations, three simulated programmers each, sharing one PostgreSQL record and
// one number sequence, each station killed at random moments and started again. The server is
// the suite's throwaway one (pg_server.sh, started once by ctest).
#include <gtest/gtest.h>
#include <signal.h>

#include <array>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "ChipMemory.h"
#include "Simulator.h"
#include "cli/CliRun.h"
#include "firmware/FirmwareFiles.h"
#include "image/ImageCheck.h"
#include "link/ChipTable.h"
#include "record/PgRecord.h"
#include "record/Postgres.h"
#include "serial/Stamp.h"

namespace {

const std::string Image877a = Firmware::Files[1].Path;
constexpr const char* Prompt = "Load the chips and press Enter";

// The suite's server; a test without it fails, it does not pass by doing nothing.
std::string ServerUri() {
  const char* state = std::getenv("TOLVANE_TEST_PG");
  std::ifstream in(state ? state : "");
  std::string uri;
  std::getline(in, uri);
  if (uri.empty())
    throw std::runtime_error("no PostgreSQL server for the tests: run them through ctest, whose fixture "
                             "postgres_start starts one (Debian's postgresql package)");
  return uri;
}

// A database of its own on the suite's server.
std::string FreshDatabase(const std::string& name) {
  const std::string uri = ServerUri();
  Record::TPostgres admin(uri);
  admin.Exec("DROP DATABASE IF EXISTS " + name);
  admin.Exec("CREATE DATABASE " + name);
  return "postgresql:///" + name + uri.substr(uri.find('?'));
}

Image::TChipLayout Pic16f877a() {
  TChip chip;
  chip.SelectChip(0x0E2);
  return Image::LayoutOf(chip);
}

}  // namespace

TEST(Line, TwoStationsKilledAtRandomGiveNoNumberTwiceAndLoseNoChip) {
  ::signal(SIGPIPE, SIG_IGN);
  const std::string uri = FreshDatabase("line_two_stations");
  const Serial::TSerialLayout serial = Serial::MakeLayout("eeprom:0x40", "dec", 4);
  const Image::TChipLayout layout = Pic16f877a();
  const Sim::TChipMemory blank(*Sim::FindChip("PIC16F877A"));
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));

  std::mutex lock;
  std::vector<Hex::THexImage> chips;  // every chip that came out of a socket with data in it
  int kills = 0;
  constexpr int Rounds = 10;  // a station: 10 rounds of 3 chips

  const auto station = [&](int number) {
    std::array<std::unique_ptr<Sim::TSimulator>, 3> sims;
    std::vector<std::string> args{"production", Image877a, "--log", uri, "--serial-at", "eeprom:0x40",
                                  "--serial-format", "dec", "--serial-width", "4"};
    for (auto& sim : sims) {
      Sim::TDeviceOptions options;
      options.ProgMs = 1;
      sim = std::make_unique<Sim::TSimulator>(blank, options, 0);
      sim->Start();
      args.insert(args.end(), {"--port", sim->SlavePath()});
    }
    // A station that comes back may find its killed workers still letting go of the ports.
    const auto start = [&] {
      for (int attempt = 0; attempt < 100; ++attempt) {
        auto run = std::make_unique<TCliRun>(args, TCliSetup{.Piped = true});
        if (run->AwaitOut(Prompt)) return run;
        const int status = run->Wait();
        if (status != 4) {
          ADD_FAILURE() << "station " << number << " ended with " << status << ": " << run->Out << run->Err;
          return std::unique_ptr<TCliRun>();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      return std::unique_ptr<TCliRun>();
    };
    const auto swapChips = [&] {
      for (auto& sim : sims) {
        const std::optional<Sim::TChipMemory> chip = sim->Remove();
        sim->Insert(blank);
        if (!chip || Image::NotBlank(chip->Image(), layout).empty()) continue;
        const std::lock_guard<std::mutex> hold(lock);
        chips.push_back(chip->Image());
      }
    };
    std::mt19937 random(seed + number);
    auto run = start();
    int prompts = 1;
    for (int round = 0; run && round < Rounds; ++round) {
      swapChips();
      run->Tell("\n");
      if (std::uniform_int_distribution<int>(0, 2)(random) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 200)(random)));
        run->Signal(SIGKILL);
        run->Wait();
        {
          const std::lock_guard<std::mutex> hold(lock);
          ++kills;
        }
        run = start();
        prompts = 1;
        continue;
      }
      if (!run->AwaitOut(Prompt, ++prompts)) ADD_FAILURE() << run->Out << run->Err;
    }
    if (!run) return;
    swapChips();
    run->Tell("q\n");
    const int status = run->Wait();
    EXPECT_TRUE(status == 0 || status == 1) << status << run->Out << run->Err;
  };
  std::thread first(station, 1), second(station, 2);
  first.join();
  second.join();

  // No number is on two chips, and a chip holds the whole image with its number or is spoiled.
  std::map<std::uint64_t, const Hex::THexImage*> onChips;
  for (const Hex::THexImage& chip : chips) {
    if (const std::optional<std::uint64_t> number = Serial::ReadNumber(chip, serial)) {
      EXPECT_TRUE(onChips.emplace(*number, &chip).second) << "number " << *number << " is on two chips";
    }
  }

  Record::TPostgres db(uri);
  EXPECT_EQ(db.Single("SELECT count(*) FROM chips WHERE result IS NULL OR serial_state = 'taken'"), "0");
  EXPECT_EQ(db.Single("SELECT count(*) FROM runs WHERE closed IS NULL"), "0");
  EXPECT_EQ(db.Single("SELECT count(*) FROM chips WHERE serial IS NOT NULL AND (result = 'pass') <> "
                      "(serial_state = 'given')"),
            "0");
  // The numbers taken are 1, 2, 3, ... each once: none lost, none twice.
  EXPECT_EQ(db.Single("SELECT count(DISTINCT serial) = count(serial) AND min(serial::int) = 1 AND "
                      "max(serial::int) = count(serial) FROM chips"),
            "t");
  const auto given = db.Exec("SELECT serial FROM chips WHERE serial_state = 'given'");
  Image::TImageFile file = Image::LoadImage(Image877a);
  const Hex::THexImage plain = file.Bytes;
  for (int row = 0; row < Record::TPostgres::Rows(given); ++row) {
    const std::uint64_t number = std::stoull(Record::TPostgres::Value(given, row, 0));
    const auto chip = onChips.find(number);
    ASSERT_NE(chip, onChips.end()) << "number " << number << " passed but is on no chip";
    file.Bytes = Serial::Stamped(plain, layout, Serial::StampOf(number, serial), false);
    EXPECT_TRUE(Image::Compare(file, *chip->second, layout).Holds()) << "number " << number;
  }
  // Every chip with a number has its row, once; at least some chips passed on each station.
  for (const auto& [number, chip] : onChips)
    EXPECT_EQ(db.Single("SELECT count(*) FROM chips WHERE serial = $1", {std::to_string(number)}), "1") << number;
  EXPECT_GE(std::stoi(*db.Single("SELECT count(DISTINCT run) FROM chips WHERE result = 'pass'")), 2);
  EXPECT_GE(std::stoi(*db.Single("SELECT count(*) FROM chips")), 2 * Rounds * 3 - 6 * kills);
  // The shared record prints as the file's does.
  TCliRun log({"log", "--log", uri});
  EXPECT_EQ(log.Wait(), 0) << log.Err;
  EXPECT_TRUE(log.Out.starts_with("id,run,started,ended,station,port,")) << log.Out;
  EXPECT_EQ(TCliRun::Count(log.Out, "\r\n"), std::stoi(*db.Single("SELECT count(*) FROM chips")) + 1);
  EXPECT_EQ(TCliRun::Count(log.Out, ",given\r\n"), Record::TPostgres::Rows(given));
  RecordProperty("kills", kills);
}

// The shared record is printed a batch at a time: every row once, in order, across batches.
TEST(Line, LogOfALargeRecordGivesEveryRowOnce) {
  const std::string uri = FreshDatabase("tolvane_large_log");
  { Record::TPgRecord schema(uri, "station-a"); }
  Record::TPostgres db(uri);
  db.Exec("INSERT INTO chips (run, started, station, port, image, image_digest, step, result) "
          "SELECT (SELECT min(id) FROM runs), 'now', 'station-a', 'port-' || n, 'a.hex', 'digest', "
          "'done', 'pass' FROM generate_series(1, 12345) AS n");
  TCliRun log({"log", "--log", uri});
  ASSERT_EQ(log.Wait(), 0) << log.Err;
  EXPECT_EQ(TCliRun::Count(log.Out, "\r\n"), 12345 + 1);
  for (int n : {1, 5000, 5001, 10000, 10001, 12345})
    EXPECT_EQ(TCliRun::Count(log.Out, ",port-" + std::to_string(n) + ","), 1) << n;
  EXPECT_LT(log.Out.find(",port-5000,"), log.Out.find(",port-5001,"));
}
