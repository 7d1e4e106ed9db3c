#include "record/Sqlite.h"

#include <sqlite3.h>

#include "record/ChipRecord.h"

namespace Record {

TSqlite::TSqlite(const std::string& path, int flags) : FPath(path) {
  const int rc = sqlite3_open_v2(path.c_str(), &FDb, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const std::string why = FDb ? sqlite3_errmsg(FDb) : sqlite3_errstr(rc);
    sqlite3_close(FDb);
    throw ERecord(path + ": " + why);
  }
  sqlite3_extended_result_codes(FDb, 1);
}

TSqlite::~TSqlite() { sqlite3_close_v2(FDb); }

void TSqlite::Fail(const std::string& what) const {
  throw ERecord(FPath + ": " + what + ": " + sqlite3_errmsg(FDb));
}

void TSqlite::Exec(const std::string& sql) {
  if (sqlite3_exec(FDb, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail("cannot run \"" + sql + "\"");
}

std::int64_t TSqlite::LastInsertId() const { return sqlite3_last_insert_rowid(FDb); }

int TSqlite::Changes() const { return sqlite3_changes(FDb); }

TStatement::TStatement(TSqlite& db, const std::string& sql) : FDb(db) {
  if (sqlite3_prepare_v3(db.Handle(), sql.c_str(), int(sql.size()), SQLITE_PREPARE_PERSISTENT,
                         &FStatement, nullptr) != SQLITE_OK)
    db.Fail("cannot prepare \"" + sql + "\"");
}

TStatement::~TStatement() { sqlite3_finalize(FStatement); }

void TStatement::Check(int rc, const char* what) const {
  if (rc != SQLITE_OK) FDb.Fail(what);
}

TStatement& TStatement::Bind(int index, const std::string& text) {
  Check(sqlite3_bind_text(FStatement, index, text.data(), int(text.size()), SQLITE_TRANSIENT), "cannot bind");
  return *this;
}

TStatement& TStatement::BindOrNull(int index, const std::string& text) {
  if (!text.empty()) return Bind(index, text);
  Check(sqlite3_bind_null(FStatement, index), "cannot bind");
  return *this;
}

TStatement& TStatement::Bind(int index, std::int64_t value) {
  Check(sqlite3_bind_int64(FStatement, index, value), "cannot bind");
  return *this;
}

TStatement& TStatement::Bind(int index, double value) {
  Check(sqlite3_bind_double(FStatement, index, value), "cannot bind");
  return *this;
}

bool TStatement::Next() {
  const int rc = sqlite3_step(FStatement);
  if (rc == SQLITE_ROW) return true;
  sqlite3_reset(FStatement);
  if (rc != SQLITE_DONE) {
    sqlite3_clear_bindings(FStatement);
    FDb.Fail(sqlite3_sql(FStatement));
  }
  return false;
}

void TStatement::Run() {
  while (Next()) {
  }
}

int TStatement::Columns() const { return sqlite3_column_count(FStatement); }

std::string TStatement::Name(int column) const { return sqlite3_column_name(FStatement, column); }

bool TStatement::IsNull(int column) const { return sqlite3_column_type(FStatement, column) == SQLITE_NULL; }

bool TStatement::IsReal(int column) const { return sqlite3_column_type(FStatement, column) == SQLITE_FLOAT; }

std::string TStatement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(FStatement, column));
  return text ? std::string(text, std::size_t(sqlite3_column_bytes(FStatement, column))) : std::string();
}

std::int64_t TStatement::Int(int column) const { return sqlite3_column_int64(FStatement, column); }

double TStatement::Real(int column) const { return sqlite3_column_double(FStatement, column); }

TTransaction::TTransaction(TSqlite& db) : FDb(db) {
  // Taking the write lock at once: a reader that later wants to write could deadlock another
  // station's connection instead of waiting for it.
  FDb.Exec("BEGIN IMMEDIATE");
}

TTransaction::~TTransaction() {
  if (FOpen) sqlite3_exec(FDb.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TTransaction::Commit() {
  FDb.Exec("COMMIT");
  FOpen = false;
}

}  // namespace Record
