#pragma once
// The CSV form of the record, shared by its SQLite and PostgreSQL forms.
#include <cstdio>
#include <string>

namespace Record {

// A field as RFC 4180 has it: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);
// Writes the text out and empties it; throws ERecord when it cannot.
void PutCsv(std::string& text, std::FILE* out);

}  // namespace Record
