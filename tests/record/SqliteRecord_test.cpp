// The chip record in SQLite: rows durable when a call returns, rows of dead runs closed as
// aborted, the export as CSV, and files that are no record left alone.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "Unit1/TempDir.h"
#include "record/SqliteRecord.h"

using namespace Record;

namespace {

TChipStart Chip(const std::string& port) {
  return {port, "A50285BI", "PIC16F877A", "0E28", "count.hex", std::string(64, 'a')};
}

// The record as `tolvane-cli log` prints it.
std::string Csv(const std::string& path) {
  char* text = nullptr;
  std::size_t size = 0;
  struct TStream {
    std::FILE* File;
    char*& Text;
    ~TStream() {
      std::fclose(File);
      std::free(Text);
    }
  } out{::open_memstream(&text, &size), text};
  WriteCsv(path, out.File);
  std::fflush(out.File);
  return std::string(text, size);
}

// A value from another connection, as another program sees the file.
std::string Query(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  std::string value = "(none)";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0))
    value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return value;
}

}  // namespace

TEST(SqliteRecord, EachCallIsCommittedWhenItReturns) {
  TTempDir dir;
  const std::string path = dir.File("run.db");
  TSqliteRecord record(path, "bench1");
  const TChipKey chip = record.Begin(Chip("ttyUSB0"));
  EXPECT_EQ(Query(path, "SELECT step || ' ' || ifnull(result, 'open') FROM chips"), "identify open");
  record.Step(chip, "write");
  EXPECT_EQ(Query(path, "SELECT step FROM chips"), "write");
  record.Finish(chip, crFail, "count.hex:7: 0x0005: the programmer could not program it");
  EXPECT_EQ(Query(path, "SELECT result || ' ' || (ended IS NOT NULL) || ' ' || (seconds >= 0) FROM chips"),
            "fail 1 1");
  EXPECT_EQ(Query(path, "PRAGMA journal_mode"), "wal");
  EXPECT_THROW(record.Finish(chip, crPass, ""), ERecord);  // a row ends once
}

TEST(SqliteRecord, RowsOfARunThatDiedAreClosedAsAbortedAndLiveOnesAreNot) {
  TTempDir dir;
  const std::string path = dir.File("run.db");
  auto alive = std::make_unique<TSqliteRecord>(path, "bench1");
  const TChipKey open = alive->Begin(Chip("ttyUSB1"));
  // A run killed in the middle of a chip, on this station and on another.
  for (const char* station : {"bench1", "bench2"}) {
    const pid_t child = ::fork();
    if (child == 0) {
      TSqliteRecord killed(path, station);
      killed.Step(killed.Begin(Chip("ttyUSB0")), "write");
      ::kill(::getpid(), SIGKILL);
    }
    ::waitpid(child, nullptr, 0);
  }

  TSqliteRecord next(path, "bench1");
  EXPECT_EQ(next.Abandoned(), 1);
  EXPECT_EQ(Query(path, "SELECT result || ': ' || detail FROM chips WHERE id = 2"),
            "aborted: the run ended during the write without finishing the chip");
  // Another station's run cannot be seen from here, and a run that lives goes on.
  EXPECT_EQ(Query(path, "SELECT count(*) FROM chips WHERE result IS NULL"), "2");
  alive->Finish(open, crPass, "");
  // A run that ends with a chip open closes it itself.
  next.Begin(Chip("ttyUSB2"));
  alive.reset();
  EXPECT_EQ(Query(path, "SELECT count(*) FROM chips WHERE result = 'pass'"), "1");
  EXPECT_EQ(Query(path, "PRAGMA integrity_check"), "ok");
}

TEST(SqliteRecord, PrintsEveryRowAsCsvWithFieldsQuotedWhereTheyMustBe) {
  TTempDir dir;
  const std::string path = dir.File("run.db");
  {
    TSqliteRecord record(path, "bench1");
    TChipStart start = Chip("tty,1");
    start.PortSerial.clear();
    record.Finish(record.Begin(start), crFail, "count.hex: differs in 2 locations:\n  \"a\"\n  b");
  }
  const std::string csv = Csv(path);
  EXPECT_TRUE(csv.starts_with("id,run,started,ended,station,port,port_serial,chip,id_word,image,"
                              "image_digest,step,result,detail,seconds\r\n1,1,"))
      << csv;
  EXPECT_NE(csv.find(",bench1,\"tty,1\",,PIC16F877A,0E28,count.hex," + std::string(64, 'a') +
                     ",identify,fail,\"count.hex: differs in 2 locations:\n  \"\"a\"\"\n  b\","),
            std::string::npos)
      << csv;
  EXPECT_TRUE(csv.ends_with("\r\n"));
}

TEST(SqliteRecord, LeavesFilesThatAreNoRecordAlone) {
  TTempDir dir;
  EXPECT_THROW(Csv(dir.File("missing.db")), ERecord);
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing.db")));

  const std::string other = dir.File("other.db");
  sqlite3* db = nullptr;
  sqlite3_open(other.c_str(), &db);
  sqlite3_exec(db, "CREATE TABLE parts (id INTEGER)", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  EXPECT_THROW(TSqliteRecord(other, "bench1"), ERecord);
  EXPECT_THROW(Csv(other), ERecord);
  EXPECT_EQ(Query(other, "SELECT count(*) FROM sqlite_master"), "1");

  EXPECT_THROW(TSqliteRecord(dir.Write("text.db", "count.hex\n"), "bench1"), ERecord);
}
