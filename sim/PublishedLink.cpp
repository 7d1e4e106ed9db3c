#include "PublishedLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Simulator.h"

namespace Sim {

namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

bool IsSymlink(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string LinkTarget(const std::string& path) {
  std::vector<char> buf(4096);
  const ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
  return n > 0 ? std::string(buf.data(), std::size_t(n)) : std::string();
}

}  // namespace

TPublishedLink::TPublishedLink(std::string path, std::string target)
    : FPath(std::move(path)), FTarget(std::move(target)) {
  if (IsSymlink(FPath)) {
    unlink(FPath.c_str());
  } else if (access(FPath.c_str(), F_OK) == 0) {
    throw ESimulator(FPath + " exists and is not a symbolic link; leaving it alone");
  }
  if (symlink(FTarget.c_str(), FPath.c_str()) != 0) throw ESimulator(SystemError("symlink " + FPath));
}

TPublishedLink::~TPublishedLink() {
  // Only our own link goes: another simulator may have taken the name meanwhile.
  if (IsSymlink(FPath) && LinkTarget(FPath) == FTarget) unlink(FPath.c_str());
}

std::string PublishDirectory() {
  const char* env = std::getenv("TOLVANE_SIM_DIR");
  std::string dir = env && *env ? env : "/tmp/tolvane-sim";
  if (mkdir(dir.c_str(), 01777) == 0) {
    chmod(dir.c_str(), 01777);  // mkdir honours the umask; every user's simulators publish here
  } else if (errno != EEXIST) {
    throw ESimulator(SystemError("mkdir " + dir));
  }
  return dir;
}

}  // namespace Sim
