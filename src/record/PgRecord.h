#pragma once
#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "record/ChipRecord.h"
#include "record/Postgres.h"

namespace Record {

// The record in a PostgreSQL database that every station of a line shares: the tables of the
// SQLite record, and the same guarantees. Each run holds a session advisory lock on its own
// row in `runs` for as long as its connection lives; the server lets it go when the station's
// process dies, however it dies. A run whose lock can be taken is therefore over, and any
// station that opens the record closes that run's open rows as aborted, its numbers spoiled.
class TPgRecord : public IChipRecord {
public:
  // Connects, creates the tables when missing, closes the rows of runs that are over and
  // begins this station's run. Throws ERecord.
  TPgRecord(const std::string& uri, const std::string& station);
  ~TPgRecord() override;

  // Rows this opening closed as aborted.
  int Abandoned() const { return FAbandoned; }

  TChipKey Begin(const TChipStart& chip) override;
  std::string TakeNumber(TChipKey chip, const TNumbering& numbering) override;
  void Step(TChipKey chip, const std::string& step) override;
  void Finish(TChipKey chip, TChipResult result, const std::string& detail) override;

private:
  void CreateSchema();
  void CloseAbandonedRuns();

  TPostgres FDb;
  std::string FStation;
  std::string FRun;
  int FAbandoned = 0;
  std::map<TChipKey, std::chrono::steady_clock::time_point> FStarted;  // the chips in progress
};

// Prints the record as WriteCsv does.
void WritePgCsv(const std::string& uri, std::FILE* out);

}  // namespace Record
