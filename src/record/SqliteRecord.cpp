#include "record/SqliteRecord.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cmath>
#include <vector>

#include "record/ProcessKey.h"

namespace Record {

namespace {

constexpr int SchemaVersion = 1;
// Another station may hold the write lock for a commit; wait for it rather than fail.
constexpr int BusyWaitMs = 10000;

constexpr const char* Schema = R"(
CREATE TABLE runs (
  id INTEGER PRIMARY KEY,
  station TEXT NOT NULL,
  pid INTEGER NOT NULL,
  process TEXT NOT NULL,
  started TEXT NOT NULL,
  closed TEXT
);
CREATE TABLE chips (
  id INTEGER PRIMARY KEY,
  run INTEGER NOT NULL REFERENCES runs (id),
  started TEXT NOT NULL,
  ended TEXT,
  station TEXT NOT NULL,
  port TEXT NOT NULL,
  port_serial TEXT,
  chip TEXT,
  id_word TEXT,
  image TEXT NOT NULL,
  image_digest TEXT NOT NULL,
  step TEXT NOT NULL,
  result TEXT CHECK (result IN ('pass', 'fail', 'aborted', 'error')),
  detail TEXT,
  seconds REAL
);
CREATE INDEX chips_open ON chips (run) WHERE result IS NULL;
)";

std::int64_t Single(TSqlite& db, const std::string& sql) {
  TStatement statement(db, sql);
  const std::int64_t value = statement.Next() ? statement.Int(0) : 0;
  statement.Run();
  return value;
}

}  // namespace

TSqliteRecord::TSqliteRecord(const std::string& path, const std::string& station)
    : FDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), FStation(station) {
  sqlite3_busy_timeout(FDb.Handle(), BusyWaitMs);
  // Committed is durable: the log is synchronised at every commit.
  {
    TStatement mode(FDb, "PRAGMA journal_mode = WAL");
    const std::string journal = mode.Next() ? mode.Text(0) : std::string();
    mode.Run();
    if (journal != "wal") throw ERecord(path + ": cannot keep a write-ahead log (journal mode " + journal + ")");
  }
  FDb.Exec("PRAGMA synchronous = FULL");
  FDb.Exec("PRAGMA foreign_keys = ON");
  CreateOrCheckSchema();
  CloseAbandonedRuns();
  FInsert = std::make_unique<TStatement>(
      FDb,
      "INSERT INTO chips (run, started, station, port, port_serial, chip, id_word, image, "
      "image_digest, step) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 'identify')");
  FStep = std::make_unique<TStatement>(FDb, "UPDATE chips SET step = ? WHERE id = ? AND result IS NULL");
  FFinish = std::make_unique<TStatement>(
      FDb, "UPDATE chips SET result = ?, detail = ?, ended = ?, seconds = ? WHERE id = ? AND result IS NULL");
}

TSqliteRecord::~TSqliteRecord() {
  try {
    // A run that ends with chips open (it failed on the way) closes them itself.
    for (const auto& [chip, started] : std::map(FStarted))
      Finish(chip, crAborted, "the station ended without finishing the chip");
    TStatement close(FDb, "UPDATE runs SET closed = ? WHERE id = ?");
    close.Bind(1, UtcNow()).Bind(2, FRun).Run();
  } catch (const ERecord&) {
    // Left open: the next run closes them.
  }
}

void TSqliteRecord::CreateOrCheckSchema() {
  TTransaction transaction(FDb);
  const std::int64_t version = Single(FDb, "PRAGMA user_version");
  if (version == 0) {
    if (Single(FDb, "SELECT count(*) FROM sqlite_master") != 0)
      throw ERecord(FDb.Path() + ": not a production record: the database holds other tables");
    FDb.Exec(Schema);
    FDb.Exec("PRAGMA user_version = " + std::to_string(SchemaVersion));
  } else if (version != SchemaVersion) {
    throw ERecord(FDb.Path() + ": a production record of another version (" + std::to_string(version) +
                  "; this program keeps version " + std::to_string(SchemaVersion) + ")");
  }
  transaction.Commit();
}

void TSqliteRecord::CloseAbandonedRuns() {
  TTransaction transaction(FDb);
  std::vector<std::int64_t> gone;
  {
    TStatement runs(FDb, "SELECT id, pid, process FROM runs WHERE station = ? AND closed IS NULL");
    runs.Bind(1, FStation);
    while (runs.Next())
      if (ProcessKey(pid_t(runs.Int(1))) != runs.Text(2)) gone.push_back(runs.Int(0));
  }
  const std::string now = UtcNow();
  TStatement abort(FDb,
                   "UPDATE chips SET result = 'aborted', detail = 'the run ended during the ' || step "
                   "|| ' without finishing the chip' WHERE run = ? AND result IS NULL");
  TStatement close(FDb, "UPDATE runs SET closed = ? WHERE id = ?");
  for (const std::int64_t run : gone) {
    abort.Bind(1, run).Run();
    FAbandoned += FDb.Changes();
    close.Bind(1, now).Bind(2, run).Run();
  }
  TStatement insert(FDb, "INSERT INTO runs (station, pid, process, started) VALUES (?, ?, ?, ?)");
  insert.Bind(1, FStation).Bind(2, std::int64_t(::getpid())).Bind(3, ProcessKey(::getpid())).Bind(4, now).Run();
  FRun = FDb.LastInsertId();
  transaction.Commit();
}

TChipKey TSqliteRecord::Begin(const TChipStart& chip) {
  FInsert->Bind(1, FRun).Bind(2, UtcNow()).Bind(3, FStation).Bind(4, chip.Port);
  FInsert->BindOrNull(5, chip.PortSerial).BindOrNull(6, chip.Chip).BindOrNull(7, chip.IdWord);
  FInsert->Bind(8, chip.Image).Bind(9, chip.ImageDigest).Run();
  const TChipKey key = FDb.LastInsertId();
  FStarted[key] = std::chrono::steady_clock::now();
  return key;
}

void TSqliteRecord::Step(TChipKey chip, const std::string& step) {
  FStep->Bind(1, step).Bind(2, chip).Run();
}

void TSqliteRecord::Finish(TChipKey chip, TChipResult result, const std::string& detail) {
  const auto started = FStarted.find(chip);
  if (started == FStarted.end()) throw ERecord(FDb.Path() + ": chip " + std::to_string(chip) + " is not open");
  const double seconds =
      std::round(std::chrono::duration<double>(std::chrono::steady_clock::now() - started->second).count() * 1000) / 1000;
  FFinish->Bind(1, std::string(ResultText(result))).BindOrNull(2, detail).Bind(3, UtcNow());
  FFinish->Bind(4, seconds).Bind(5, chip).Run();
  FStarted.erase(started);
}

}  // namespace Record
