#include "station/SocketWorker.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace Station {

namespace {

// The length after `word` and a space; none for anything else.
std::optional<unsigned long> Length(const std::string& line, const char* word) {
  const std::size_t size = std::strlen(word);
  if (line.compare(0, size, word) != 0 || line.size() <= size + 1 || line[size] != ' ') return std::nullopt;
  char* end = nullptr;
  const unsigned long length = std::strtoul(line.c_str() + size + 1, &end, 10);
  if (*end != ' ' && *end != '\0') return std::nullopt;
  return length;
}

bool ReadBytes(std::FILE* in, unsigned long length, std::string& bytes) {
  bytes.assign(length, '\0');
  return std::fread(bytes.data(), 1, length, in) == length;
}

bool ReadLine(std::FILE* in, std::string& line) {
  char* text = nullptr;
  std::size_t capacity = 0;
  const ssize_t n = ::getline(&text, &capacity, in);
  std::unique_ptr<char, decltype(&std::free)> owned(text, std::free);
  if (n <= 0) return false;
  line.assign(text, std::size_t(n));
  if (line.back() == '\n') line.pop_back();
  return true;
}

}  // namespace

int ServeStation(ISocketProgrammer& programmer, std::FILE* in, std::FILE* out) {
  const auto report = [out](const TWorkerEvent& event) {
    std::fprintf(out, "%s\n", FormatEvent(event).c_str());
    std::fflush(out);
  };
  std::string line, image;
  // "image <length> <name>" and the image's bytes.
  if (!ReadLine(in, line)) return 2;
  const std::optional<unsigned long> length = Length(line, "image");
  const std::size_t name = line.find(' ', 6);
  if (!length || name == std::string::npos || !ReadBytes(in, *length, image)) return 2;
  programmer.Load(image, line.substr(name + 1));
  report(TWorkerEvent{});  // hello

  while (ReadLine(in, line)) {
    if (line == "identify") {
      programmer.Identify(report);
    } else if (line == "program") {
      programmer.Program(report, {});
    } else if (const std::optional<unsigned long> own = Length(line, "program")) {
      if (!ReadBytes(in, *own, image)) return 2;
      programmer.Program(report, image);
    } else {
      return 2;
    }
  }
  return 0;
}

}  // namespace Station
