#include "station/WorkerProtocol.h"

#include <charconv>

namespace Station {

namespace {

constexpr std::string_view Words[] = {"hello", "chip", "empty", "step", "progress", "pass", "fail", "error"};

// Splits off the first word of `rest`.
std::string_view Word(std::string_view& rest) {
  const std::size_t end = rest.find(' ');
  const std::string_view word = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return word;
}

std::optional<int> Number(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string Field(const std::string& text) { return text.empty() ? "-" : text; }
std::string FromField(std::string_view field) { return field == "-" ? std::string() : std::string(field); }

}  // namespace

std::string Escape(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\\') escaped += "\\\\";
    else if (c == '\n') escaped += "\\n";
    else if (c == '\r') escaped += "\\r";
    else escaped += c;
  }
  return escaped;
}

std::string Unescape(std::string_view text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      plain += text[i];
      continue;
    }
    const char c = text[++i];
    plain += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return plain;
}

std::string FormatEvent(const TWorkerEvent& event) {
  std::string line(Words[event.Kind]);
  switch (event.Kind) {
    case ekHello: break;
    case ekChip:
      line += " " + Field(event.SizeCode) + " " + Field(event.IdWord) + " " + Escape(event.Text);
      break;
    case ekEmpty: line += " " + Field(event.IdWord); break;
    case ekProgress: line += " " + std::to_string(event.Number); break;
    case ekError: line += " " + std::to_string(event.Number) + " " + Escape(event.Text); break;
    case ekStep:
    case ekPass:
    case ekFail: line += " " + Escape(event.Text); break;
  }
  return line;
}

std::optional<TWorkerEvent> ParseEvent(std::string_view line) {
  const std::string_view word = Word(line);
  TWorkerEvent event;
  std::size_t kind = 0;
  while (kind < std::size(Words) && Words[kind] != word) ++kind;
  if (kind == std::size(Words)) return std::nullopt;
  event.Kind = TEventKind(kind);
  switch (event.Kind) {
    case ekHello: break;
    case ekChip:
      event.SizeCode = FromField(Word(line));
      event.IdWord = FromField(Word(line));
      event.Text = Unescape(line);
      break;
    case ekEmpty: event.IdWord = FromField(line); break;
    case ekProgress:
    case ekError: {
      const auto number = Number(Word(line));
      if (!number) return std::nullopt;
      event.Number = *number;
      event.Text = Unescape(line);
      break;
    }
    case ekStep:
    case ekPass:
    case ekFail: event.Text = Unescape(line); break;
  }
  return event;
}

}  // namespace Station
