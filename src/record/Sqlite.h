#pragma once
#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace Record {

// One connection to an SQLite database; failures throw ERecord naming the file.
class TSqlite {
public:
  // flags as sqlite3_open_v2 takes them.
  TSqlite(const std::string& path, int flags);
  ~TSqlite();
  TSqlite(const TSqlite&) = delete;
  TSqlite& operator=(const TSqlite&) = delete;

  // Runs statements that return no rows.
  void Exec(const std::string& sql);
  std::int64_t LastInsertId() const;
  int Changes() const;
  sqlite3* Handle() const { return FDb; }
  const std::string& Path() const { return FPath; }
  [[noreturn]] void Fail(const std::string& what) const;

private:
  std::string FPath;
  sqlite3* FDb = nullptr;
};

// A prepared statement, reused: bind, step, reset.
class TStatement {
public:
  TStatement(TSqlite& db, const std::string& sql);
  ~TStatement();
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  // Parameters count from 1; an empty text binds NULL with BindOrNull.
  TStatement& Bind(int index, const std::string& text);
  TStatement& BindOrNull(int index, const std::string& text);
  TStatement& Bind(int index, std::int64_t value);
  TStatement& Bind(int index, double value);

  // The next row: true while there is one. The last step resets the statement.
  bool Next();
  // Steps through to the end and resets.
  void Run();

  int Columns() const;
  std::string Name(int column) const;
  bool IsNull(int column) const;
  bool IsReal(int column) const;
  std::string Text(int column) const;
  std::int64_t Int(int column) const;
  double Real(int column) const;

private:
  void Check(int rc, const char* what) const;

  TSqlite& FDb;
  sqlite3_stmt* FStatement = nullptr;
};

// A write transaction that rolls back unless committed.
class TTransaction {
public:
  explicit TTransaction(TSqlite& db);
  ~TTransaction();
  void Commit();

private:
  TSqlite& FDb;
  bool FOpen = true;
};

}  // namespace Record
