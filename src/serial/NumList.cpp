#include "serial/NumList.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "hex/HexRecord.h"
#include "serial/SerialNumber.h"

namespace Serial {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::vector<TNumRecord> ReadNumList(std::string_view text, const std::string& name) {
  std::vector<TNumRecord> list;
  std::uint32_t upper = 0;  // the extended linear address
  bool ended = false;
  std::size_t line = 0;
  while (!text.empty()) {
    ++line;
    const std::size_t end = text.find('\n');
    const std::string_view record = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (record.empty()) continue;
    auto fault = [&](const std::string& detail) { return ESerial(name + ":" + std::to_string(line) + ": " + detail); };
    if (ended) throw fault("text after the end-of-file record");
    Hex::THexRecord r;
    try {
      r = Hex::ParseRecord(record);
    } catch (const Hex::EHexFormat& e) {
      throw fault(e.Message());
    }
    switch (r.Type) {
      case Hex::rtData: {
        if (r.Data.empty()) throw fault("a data record without bytes holds no number");
        const std::uint64_t first = std::uint64_t{upper} << 16 | r.Address;
        if (first + r.Data.size() > 0x100000000) throw fault("the record runs past the 4 GB address space");
        TNumRecord number{line, {}};
        for (std::size_t i = 0; i < r.Data.size(); ++i)
          number.Bytes.emplace_hint(number.Bytes.end(), static_cast<std::uint32_t>(first + i), r.Data[i]);
        list.push_back(std::move(number));
        break;
      }
      case Hex::rtExtendedLinearAddress: upper = static_cast<std::uint32_t>(r.Data[0] << 8 | r.Data[1]); break;
      case Hex::rtEndOfFile: ended = true; break;
      default: throw fault("record type " + std::to_string(r.Type) + " has no place in a number list");
    }
  }
  if (!ended) throw ESerial(name + ": no end-of-file record: the list may be cut short");
  if (list.empty()) throw ESerial(name + ": the list holds no numbers");
  return list;
}

std::vector<TNumRecord> LoadNumList(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!in) throw ESerial(path + ": cannot open: " + std::strerror(errno));
  std::string contents;
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, in.get())) > 0) contents.append(chunk, got);
  if (std::ferror(in.get())) throw ESerial(path + ": cannot read: " + std::strerror(errno));
  return ReadNumList(contents, path);
}

}  // namespace Serial
