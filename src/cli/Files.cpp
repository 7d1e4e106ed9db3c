#include "cli/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/Failure.h"

namespace Cli {

namespace {

constexpr const char* StandardInputName = "standard input";

std::string ReadStandardInput() {
  std::string contents;
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) contents.append(chunk, got);
  if (std::ferror(stdin))
    throw ECommand(ecBadFile, std::string(StandardInputName) + ": cannot read: " + std::strerror(errno));
  return contents;
}

[[noreturn]] void Failed(const std::string& path, const char* what) {
  throw ECommand(ecBadFile, path + ": " + what + ": " + std::strerror(errno));
}

}  // namespace

Image::TImageFile LoadImageArgument(const std::string& path, std::string& text) {
  try {
    if (path != StandardStream) return Image::LoadImage(path, &text);
    text = ReadStandardInput();
    return Image::ParseImage(text, StandardInputName);
  } catch (const Hex::EHexFormat& e) {
    throw ECommand(ecBadFile, e.Message());
  }
}

void WriteStandardOutput(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) return;
  if (errno == EPIPE) throw ECommand(ecBrokenPipe, "standard output: the reader has gone");
  Failed("standard output", "cannot write");
}

TOutput::TOutput(const std::string& path)
    : FPath(path), FStandard(path.empty() || path == StandardStream) {
  if (!FStandard && !FFile.Open(path)) Failed(path, "cannot create");
}

void TOutput::Write(const std::string& text) {
  if (Standard())
    WriteStandardOutput(text);
  else if (!FFile.Replace(text))
    Failed(FPath, "cannot write");
}

}  // namespace Cli
