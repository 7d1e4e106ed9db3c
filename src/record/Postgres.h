#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace Record {

// Whether a --log names a PostgreSQL database rather than an SQLite file.
bool IsPostgresUri(const std::string& log);

// One connection to a PostgreSQL server through libpq; failures throw ERecord naming the
// database (its connection string without a password).
class TPostgres {
public:
  using TParam = std::optional<std::string>;  // none: NULL
  using TResult = std::unique_ptr<pg_result, void (*)(pg_result*)>;

  explicit TPostgres(const std::string& uri);
  ~TPostgres();
  TPostgres(const TPostgres&) = delete;
  TPostgres& operator=(const TPostgres&) = delete;

  // Runs one statement with text parameters ($1, $2, ...) and returns its rows.
  TResult Exec(const std::string& sql, const std::vector<TParam>& params = {});
  // The first column of the first row, or none.
  std::optional<std::string> Single(const std::string& sql, const std::vector<TParam>& params = {});
  // Rows changed by a statement.
  static int Changes(const TResult& result);
  static int Rows(const TResult& result);
  static std::string Value(const TResult& result, int row, int column);
  static bool IsNull(const TResult& result, int row, int column);
  static int Columns(const TResult& result);
  static std::string Name(const TResult& result, int column);
  static bool IsReal(const TResult& result, int column);  // a floating-point column

  const std::string& Name() const { return FName; }

private:
  std::string FName;
  pg_conn* FDb = nullptr;
};

// A transaction that rolls back unless committed.
class TPgTransaction {
public:
  explicit TPgTransaction(TPostgres& db);
  ~TPgTransaction();
  void Commit();

private:
  TPostgres& FDb;
  bool FOpen = true;
};

}  // namespace Record
