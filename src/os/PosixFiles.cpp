#include "os/Files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace Os {

TOutputFile::~TOutputFile() {
  if (FFd < 0) return;
  ::close(FFd);
  if (FCreated && !FWritten) ::unlink(FPath.c_str());
}

bool TOutputFile::Open(const std::string& path) {
  FPath = path;
  FFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  FCreated = FFd >= 0;
  if (FFd < 0 && errno == EEXIST) FFd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  return FFd >= 0;
}

bool TOutputFile::Replace(const std::string& text) {
  FWritten = true;
  // A pipe or a terminal named as the file has nothing to cut.
  if (::ftruncate(FFd, 0) != 0 && errno != EINVAL) return false;
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(FFd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  const int fd = FFd;
  FFd = -1;
  return ::close(fd) == 0;
}

bool PermissionDenied(const std::string& path) {
  return ::access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM);
}

}  // namespace Os
