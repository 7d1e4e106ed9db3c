#pragma once
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "record/ChipRecord.h"
#include "record/Sqlite.h"

namespace Record {

// The record in an SQLite database file: a table `chips`, one row a chip, and a table `runs`,
// one row a run of a station. Write-ahead log and full synchronisation, so that a committed
// row survives the program's death and a power failure. Several stations may share the file.
class TSqliteRecord : public IChipRecord {
public:
  // Opens the record at path, creating it when missing, for a run of this station (the host's
  // name). Rows that earlier runs of this station left open, runs whose process is gone, are
  // closed as aborted. Throws ERecord.
  TSqliteRecord(const std::string& path, const std::string& station);
  // The run ends; rows still open stay so, for the next run to close.
  ~TSqliteRecord() override;

  // Rows this opening closed as aborted.
  int Abandoned() const { return FAbandoned; }

  TChipKey Begin(const TChipStart& chip) override;
  void Step(TChipKey chip, const std::string& step) override;
  void Finish(TChipKey chip, TChipResult result, const std::string& detail) override;

private:
  void CreateOrCheckSchema();
  void CloseAbandonedRuns();

  TSqlite FDb;
  std::string FStation;
  std::int64_t FRun = 0;
  int FAbandoned = 0;
  std::unique_ptr<TStatement> FInsert, FStep, FFinish;
  std::map<TChipKey, std::chrono::steady_clock::time_point> FStarted;  // the chips in progress
};

// Prints every row of the record at path as CSV, a header of the column names first, fields
// quoted where they must be (RFC 4180). Opens the file read-only; throws ERecord when it is
// missing or not a record.
void WriteCsv(const std::string& path, std::FILE* out);

}  // namespace Record
