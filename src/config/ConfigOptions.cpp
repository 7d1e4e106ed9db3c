#include "config/ConfigOptions.h"

#include <map>
#include <mutex>
#include <optional>

#include "config/DeviceHeaders.h"
#include "framework/Convert.h"
#include "hex/HexRecord.h"

namespace ChipConfig {

namespace {

constexpr std::uint16_t WordBits = 0x3FFF;

struct TEquate {
  std::string Name;
  std::uint16_t Value;
  std::string Description;
};

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string_view Word(std::string_view& s) {
  s = Trimmed(s);
  std::size_t n = 0;
  while (n < s.size() && s[n] != ' ' && s[n] != '\t') ++n;
  const std::string_view word = s.substr(0, n);
  s.remove_prefix(n);
  return word;
}

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// "_NAME EQU H'hhhh' ; description", or nothing when the line is not one.
std::optional<TEquate> EquateOf(std::string_view line, const std::string& header) {
  std::string_view rest = line;
  const std::string_view name = Word(rest);
  if (name.size() < 2 || name[0] != '_' || Word(rest) != "EQU") return std::nullopt;
  for (char c : name)
    if (!IsNameChar(c)) return std::nullopt;
  const std::string_view value = Word(rest);
  unsigned v = 0;
  bool valid = value.size() > 3 && value.size() <= 7 && value.starts_with("H'") && value.back() == '\'';
  for (std::size_t i = 2; valid && i + 1 < value.size(); ++i) {
    const int digit = Hex::HexDigitValue(value[i]);
    valid = digit >= 0;
    v = v * 16 + static_cast<unsigned>(digit);
  }
  if (!valid || v > WordBits)
    throw EConfig(header + ": " + std::string(name) + ": not a 14-bit word: " + std::string(value));
  rest = Trimmed(rest);
  if (!rest.empty() && rest[0] != ';')
    throw EConfig(header + ": " + std::string(name) + ": unexpected text after the value");
  if (!rest.empty()) rest = Trimmed(rest.substr(1));
  return TEquate{std::string(name.substr(1)), static_cast<std::uint16_t>(v), std::string(rest)};
}

TConfigField FieldOf(const std::vector<TEquate>& run, const std::string& header) {
  TConfigField field;
  field.Name = run.front().Name.substr(0, run.front().Name.find('_'));
  field.Mask = 0;
  for (const TEquate& e : run) field.Mask |= static_cast<std::uint16_t>(~e.Value & WordBits);
  if (field.Mask == 0) throw EConfig(header + ": " + field.Name + ": its options clear no bit");
  for (const TEquate& e : run) {
    TConfigOption* same = nullptr;
    for (TConfigOption& o : field.Options)
      if (o.Value == e.Value) same = &o;
    if (same)
      same->Aliases.push_back(e.Name);
    else
      field.Options.push_back({e.Name, {}, e.Value, e.Description});
  }
  return field;
}

std::string Hex4(unsigned value) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string text = "0x0000";
  for (int i = 5; i >= 2; --i, value >>= 4) text[i] = Digits[value & 15];
  return text;
}

}  // namespace

TConfigTable ParseConfigOptions(std::string_view text, const std::string& header) {
  TConfigTable table;
  table.Header = header;
  std::vector<TEquate> run;
  auto endRun = [&] {
    if (run.empty()) return;
    TConfigField field = FieldOf(run, header);
    for (const TConfigField& other : table.Fields)
      if (other.Mask & field.Mask)
        throw EConfig(header + ": " + field.Name + " and " + other.Name + " share bits " +
                      Hex4(other.Mask & field.Mask));
    table.Fields.push_back(std::move(field));
    run.clear();
  };
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (std::optional<TEquate> equate = EquateOf(line, header)) {
      bool twice = table.Find(equate->Name) != nullptr;
      for (const TEquate& e : run) twice = twice || SameTextAscii(e.Name, equate->Name);
      if (twice) throw EConfig(header + ": " + equate->Name + " is given twice");
      run.push_back(std::move(*equate));
    } else {
      endRun();
    }
  }
  endRun();
  if (table.Fields.empty()) throw EConfig(header + ": no configuration options");
  return table;
}

const TConfigOption* TConfigTable::Find(std::string_view name, const TConfigField** field) const {
  if (name.starts_with('_')) name.remove_prefix(1);
  for (const TConfigField& f : Fields)
    for (const TConfigOption& o : f.Options) {
      bool match = SameTextAscii(o.Name, name);
      for (const std::string& alias : o.Aliases) match = match || SameTextAscii(alias, name);
      if (!match) continue;
      if (field) *field = &f;
      return &o;
    }
  return nullptr;
}

const TConfigTable* ConfigTableOf(std::string_view chip) {
  // Read on first use; every thread sees the same tables.
  static std::once_flag once;
  static std::map<std::string, TConfigTable, std::less<>> tables;
  std::call_once(once, [] {
    for (std::size_t i = 0; i < HeaderTextCount; ++i) {
      TConfigTable table = ParseConfigOptions(HeaderTexts[i].ConfigOptions, HeaderTexts[i].File);
      table.Chip = HeaderTexts[i].Chip;
      tables.emplace(table.Chip, std::move(table));
    }
  });
  const auto it = tables.find(chip);
  return it == tables.end() ? nullptr : &it->second;
}

std::vector<TSetting> Decode(const TConfigTable& table, std::uint16_t word) {
  std::vector<TSetting> settings;
  for (const TConfigField& field : table.Fields) {
    TSetting setting{&field, nullptr, static_cast<std::uint16_t>(word & field.Mask)};
    for (const TConfigOption& option : field.Options)
      if ((option.Value & field.Mask) == setting.Bits) {
        setting.Option = &option;
        break;
      }
    settings.push_back(setting);
  }
  return settings;
}

std::uint16_t Apply(const TConfigTable& table, std::uint16_t word, std::string_view name) {
  const TConfigField* field = nullptr;
  const TConfigOption* option = table.Find(name, &field);
  if (!option)
    throw EConfig(std::string(name) + ": the " + table.Chip + " has no such setting; its settings (" +
                  table.Header + "):\n" + SettingsList(table));
  return static_cast<std::uint16_t>((word & ~field->Mask) | (option->Value & field->Mask));
}

std::string SettingsList(const TConfigTable& table) {
  std::string list;
  for (const TConfigField& field : table.Fields) {
    list += (list.empty() ? "  " : "\n  ") + field.Name + ":";
    for (std::size_t i = 0; i < field.Options.size(); ++i)
      list += (i ? ", " : " ") + field.Options[i].Name;
  }
  return list;
}

}  // namespace ChipConfig
