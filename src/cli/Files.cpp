#include "cli/Files.h"

#include <fcntl.h>
#include <unistd.h>

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
  if (FStandard) return;
  FFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  FCreated = FFd >= 0;
  // An existing file keeps its contents until there is something to replace them with.
  if (FFd < 0 && errno == EEXIST) FFd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (FFd < 0) Failed(path, "cannot create");
}

TOutput::~TOutput() {
  if (FFd < 0) return;
  ::close(FFd);
  if (FCreated && !FWritten) ::unlink(FPath.c_str());
}

void TOutput::Write(const std::string& text) {
  if (Standard()) {
    WriteStandardOutput(text);
    return;
  }
  FWritten = true;
  // A pipe or a terminal named as the file has nothing to cut.
  if (::ftruncate(FFd, 0) != 0 && errno != EINVAL) Failed(FPath, "cannot write");
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(FFd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Failed(FPath, "cannot write");
    done += static_cast<std::size_t>(n);
  }
  const int fd = FFd;
  FFd = -1;
  if (::close(fd) != 0) Failed(FPath, "cannot write");
}

}  // namespace Cli
