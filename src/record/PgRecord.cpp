#include "record/PgRecord.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "record/ProcessKey.h"
#include "record/RecordCsv.h"

namespace Record {

namespace {

// The advisory locks of this record: (LockSpace, run id) holds a run, (LockSpace, 0) the
// creation of the tables.
constexpr const char* LockSpace = "1416588406";  // "Tolv"

constexpr const char* Schema = R"(
CREATE TABLE IF NOT EXISTS runs (
  id BIGSERIAL PRIMARY KEY,
  station TEXT NOT NULL,
  pid INTEGER NOT NULL,
  process TEXT NOT NULL,
  started TEXT NOT NULL,
  closed TEXT
);
CREATE TABLE IF NOT EXISTS chips (
  id BIGSERIAL PRIMARY KEY,
  run BIGINT NOT NULL REFERENCES runs (id),
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
  seconds DOUBLE PRECISION,
  serial TEXT,
  serial_state TEXT CHECK (serial_state IN ('taken', 'given', 'spoiled'))
);
CREATE INDEX IF NOT EXISTS chips_open ON chips (run) WHERE result IS NULL;
CREATE UNIQUE INDEX IF NOT EXISTS chips_serial ON chips (serial) WHERE serial IS NOT NULL;
CREATE TABLE IF NOT EXISTS sequences (
  name TEXT PRIMARY KEY,
  next BIGINT NOT NULL
);
)";

std::string Text(std::int64_t value) { return std::to_string(value); }

// A row as a line of CSV: NULL as an empty field, seconds to the millisecond.
void AppendCsvRow(std::string& text, const TPostgres::TResult& rows, int row) {
  char number[32];
  for (int c = 0; c < TPostgres::Columns(rows); ++c) {
    if (c) text += ',';
    if (TPostgres::IsNull(rows, row, c)) continue;
    if (TPostgres::IsReal(rows, c)) {
      std::snprintf(number, sizeof number, "%.3f", std::stod(TPostgres::Value(rows, row, c)));
      text += number;
    } else {
      text += CsvField(TPostgres::Value(rows, row, c));
    }
  }
  text += "\r\n";
}

}  // namespace

TPgRecord::TPgRecord(const std::string& uri, const std::string& station) : FDb(uri), FStation(station) {
  CreateSchema();
  CloseAbandonedRuns();
}

TPgRecord::~TPgRecord() {
  try {
    for (const auto& [chip, started] : std::map(FStarted))
      Finish(chip, crAborted, "the station ended without finishing the chip");
    FDb.Exec("UPDATE runs SET closed = $1 WHERE id = $2", {UtcNow(), FRun});
  } catch (const ERecord&) {
    // Left open: the next opening closes them.
  }
}

void TPgRecord::CreateSchema() {
  TPgTransaction transaction(FDb);
  // Two stations that start on an empty database at once create the tables once.
  FDb.Exec(std::string("SELECT pg_advisory_xact_lock(") + LockSpace + ", 0)");
  FDb.Exec(Schema);
  // A table chips of something else is no record.
  try {
    FDb.Exec("SELECT id, run, station, step, result, serial, serial_state FROM chips LIMIT 0");
  } catch (const ERecord&) {
    throw ERecord(FDb.Name() + ": not a production record: its table chips is another's");
  }
  transaction.Commit();
}

void TPgRecord::CloseAbandonedRuns() {
  const std::string now = UtcNow();
  // This run's row and its lock come into being together: no other station sees the row
  // without the lock.
  {
    TPgTransaction transaction(FDb);
    FRun = *FDb.Single("INSERT INTO runs (station, pid, process, started) VALUES ($1, $2, $3, $4) RETURNING id",
                       {FStation, Text(::getpid()), ProcessKey(::getpid()), now});
    FDb.Exec(std::string("SELECT pg_advisory_lock(") + LockSpace + ", $1::integer)", {FRun});
    transaction.Commit();
  }
  const TPostgres::TResult open = FDb.Exec("SELECT id FROM runs WHERE closed IS NULL AND id <> $1", {FRun});
  for (int i = 0; i < TPostgres::Rows(open); ++i) {
    const std::string run = TPostgres::Value(open, i, 0);
    // Held: its station is alive (or another station is closing it right now).
    if (FDb.Single(std::string("SELECT pg_try_advisory_lock(") + LockSpace + ", $1::integer)", {run}) != "t")
      continue;
    TPgTransaction transaction(FDb);
    const TPostgres::TResult aborted = FDb.Exec(
        "UPDATE chips SET result = 'aborted', detail = 'the run ended during the ' || step || ' without finishing "
        "the chip', serial_state = CASE WHEN serial IS NULL THEN NULL ELSE 'spoiled' END "
        "WHERE run = $1 AND result IS NULL",
        {run});
    FAbandoned += TPostgres::Changes(aborted);
    FDb.Exec("UPDATE runs SET closed = $1 WHERE id = $2 AND closed IS NULL", {now, run});
    transaction.Commit();
    FDb.Exec(std::string("SELECT pg_advisory_unlock(") + LockSpace + ", $1::integer)", {run});
  }
}

TChipKey TPgRecord::Begin(const TChipStart& chip) {
  const auto orNull = [](const std::string& text) { return text.empty() ? TPostgres::TParam() : text; };
  const std::string key = *FDb.Single(
      "INSERT INTO chips (run, started, station, port, port_serial, chip, id_word, image, image_digest, step) "
      "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, 'identify') RETURNING id",
      {FRun, UtcNow(), FStation, chip.Port, orNull(chip.PortSerial), orNull(chip.Chip), orNull(chip.IdWord), chip.Image,
       chip.ImageDigest});
  const TChipKey id = std::stoll(key);
  FStarted[id] = std::chrono::steady_clock::now();
  return id;
}

std::string TPgRecord::TakeNumber(TChipKey chip, const TNumbering& numbering) {
  TPgTransaction transaction(FDb);
  FDb.Exec("INSERT INTO sequences (name, next) VALUES ($1, 0) ON CONFLICT (name) DO NOTHING", {numbering.Sequence});
  // The sequence's row stays locked to this transaction: other stations wait for the next.
  const std::int64_t index =
      std::stoll(*FDb.Single("SELECT next FROM sequences WHERE name = $1 FOR UPDATE", {numbering.Sequence}));
  const std::string number = NumberOf(numbering, index);
  if (const auto holder = FDb.Single("SELECT id FROM chips WHERE serial = $1", {number}))
    throw NumberGiven(number, std::stoll(*holder));
  FDb.Exec("UPDATE sequences SET next = next + 1 WHERE name = $1", {numbering.Sequence});
  const TPostgres::TResult taken =
      FDb.Exec("UPDATE chips SET serial = $1, serial_state = 'taken' WHERE id = $2 AND result IS NULL", {number, Text(chip)});
  if (TPostgres::Changes(taken) != 1) throw ERecord(FDb.Name() + ": chip " + Text(chip) + " is not open");
  transaction.Commit();
  return number;
}

void TPgRecord::Step(TChipKey chip, const std::string& step) {
  FDb.Exec("UPDATE chips SET step = $1 WHERE id = $2 AND result IS NULL", {step, Text(chip)});
}

void TPgRecord::Finish(TChipKey chip, TChipResult result, const std::string& detail) {
  const auto started = FStarted.find(chip);
  if (started == FStarted.end()) throw ERecord(FDb.Name() + ": chip " + Text(chip) + " is not open");
  const double seconds =
      std::round(std::chrono::duration<double>(std::chrono::steady_clock::now() - started->second).count() * 1000) / 1000;
  char secondsText[32];
  std::snprintf(secondsText, sizeof secondsText, "%.3f", seconds);
  FDb.Exec(
      "UPDATE chips SET result = $1, detail = $2, ended = $3, seconds = $4, serial_state = CASE WHEN serial IS "
      "NULL THEN NULL WHEN $1 = 'pass' THEN 'given' ELSE 'spoiled' END WHERE id = $5 AND result IS NULL",
      {std::string(ResultText(result)), detail.empty() ? TPostgres::TParam() : detail, UtcNow(), secondsText,
       Text(chip)});
  FStarted.erase(started);
}

void WritePgCsv(const std::string& uri, std::FILE* out) {
  TPostgres db(uri);
  if (db.Single("SELECT to_regclass('chips') IS NOT NULL") != "t")
    throw ERecord(db.Name() + ": not a production record: it has no table chips");
  // Through a cursor, a batch at a time: a record of years of production need not fit in
  // memory. One transaction, so the rows are those of one moment while stations go on.
  TPgTransaction transaction(db);
  db.Exec("DECLARE chip_rows NO SCROLL CURSOR FOR SELECT * FROM chips ORDER BY id");
  constexpr const char* Fetch = "FETCH 5000 FROM chip_rows";
  TPostgres::TResult rows = db.Exec(Fetch);
  const int columns = TPostgres::Columns(rows);
  std::string text;
  for (int c = 0; c < columns; ++c) text += (c ? "," : "") + CsvField(TPostgres::Name(rows, c));
  text += "\r\n";
  for (; TPostgres::Rows(rows) > 0; rows = db.Exec(Fetch)) {
    for (int r = 0; r < TPostgres::Rows(rows); ++r) {
      AppendCsvRow(text, rows, r);
      if (text.size() >= 65536) PutCsv(text, out);
    }
  }
  PutCsv(text, out);
  if (std::fflush(out) != 0) throw ERecord(std::string("cannot write the record out: ") + std::strerror(errno));
  transaction.Commit();
}

}  // namespace Record
