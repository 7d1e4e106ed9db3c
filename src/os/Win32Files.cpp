#include "os/Files.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

namespace Os {

TOutputFile::~TOutputFile() {
  if (FFd < 0) return;
  ::_close(FFd);
  if (FCreated && !FWritten) ::_unlink(FPath.c_str());
}

bool TOutputFile::Open(const std::string& path) {
  FPath = path;
  constexpr int Flags = _O_WRONLY | _O_BINARY | _O_NOINHERIT;
  FFd = ::_open(path.c_str(), Flags | _O_CREAT | _O_EXCL, _S_IREAD | _S_IWRITE);
  FCreated = FFd >= 0;
  if (FFd < 0 && errno == EEXIST) FFd = ::_open(path.c_str(), Flags);
  return FFd >= 0;
}

bool TOutputFile::Replace(const std::string& text) {
  FWritten = true;
  // A pipe or a device named as the file has nothing to cut.
  if (::_chsize(FFd, 0) != 0 && errno != EINVAL && errno != EACCES) return false;
  for (std::size_t done = 0; done < text.size();) {
    const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(text.size() - done, INT_MAX));
    const int n = ::_write(FFd, text.data() + done, chunk);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  const int fd = FFd;
  FFd = -1;
  return ::_close(fd) == 0;
}

// A serial port that will not open for lack of rights and one held by another program both
// answer "access denied"; on Windows the latter is what it means.
bool PermissionDenied(const std::string&) { return false; }

}  // namespace Os
