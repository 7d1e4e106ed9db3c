#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "record/SqliteRecord.h"

namespace Record {

namespace {

// A field as RFC 4180 has it: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void Put(std::string& text, std::FILE* out) {
  if (std::fwrite(text.data(), 1, text.size(), out) != text.size())
    throw ERecord(std::string("cannot write the record out: ") + std::strerror(errno));
  text.clear();
}

}  // namespace

void WriteCsv(const std::string& path, std::FILE* out) {
  // Read-only, and never created: a mistyped name is an error, not an empty record.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    throw ERecord(path + ": no such record");
  TSqlite db(path, SQLITE_OPEN_READONLY);
  sqlite3_busy_timeout(db.Handle(), 10000);
  {
    TStatement table(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'chips'");
    const bool found = table.Next() && table.Int(0) == 1;
    table.Run();
    if (!found) throw ERecord(path + ": not a production record: it has no table chips");
  }
  TStatement rows(db, "SELECT * FROM chips ORDER BY id");
  std::string text;
  for (int c = 0; c < rows.Columns(); ++c) text += (c ? "," : "") + CsvField(rows.Name(c));
  text += "\r\n";
  char number[32];
  while (rows.Next()) {
    for (int c = 0; c < rows.Columns(); ++c) {
      if (c) text += ',';
      if (rows.IsNull(c)) continue;
      if (rows.IsReal(c)) {
        std::snprintf(number, sizeof number, "%.3f", rows.Real(c));
        text += number;
      } else {
        text += CsvField(rows.Text(c));
      }
    }
    text += "\r\n";
    if (text.size() >= 65536) Put(text, out);
  }
  Put(text, out);
  if (std::fflush(out) != 0) throw ERecord(std::string("cannot write the record out: ") + std::strerror(errno));
}

}  // namespace Record
