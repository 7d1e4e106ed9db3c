#include "station/SocketWorker.h"

#include <cstdlib>
#include <memory>

namespace Station {

namespace {

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
  std::string line;
  // "image <length> <name>" and the image's bytes.
  if (!ReadLine(in, line) || !line.starts_with("image ")) return 2;
  char* end = nullptr;
  const unsigned long length = std::strtoul(line.c_str() + 6, &end, 10);
  if (*end != ' ') return 2;
  std::string image(length, '\0');
  if (std::fread(image.data(), 1, length, in) != length) return 2;
  programmer.Load(image, end + 1);
  report(TWorkerEvent{});  // hello

  while (ReadLine(in, line)) {
    if (line == "identify") programmer.Identify(report);
    else if (line == "program") programmer.Program(report);
    else return 2;
  }
  return 0;
}

}  // namespace Station
