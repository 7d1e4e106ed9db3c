#include "CPort/ListSerialPorts.h"

#include "CPort/EComPort.h"
#include "CPort/platform/SerialPlatform.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <signal.h>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int RegistryError = 23;  // "Registry error"

// Failures are reported in the platform layer's terms: a missing folder is
// ERROR_FILE_NOT_FOUND, a refusal ERROR_ACCESS_DENIED, anything else ERROR_GEN_FAILURE.
int PlatformCode(const std::error_code& ec) {
  switch (ec.value()) {
    case ENOENT:
    case ENOTDIR:
      return ComPlatform::ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ComPlatform::ERROR_ACCESS_DENIED;
    default:
      return ComPlatform::ERROR_GEN_FAILURE;
  }
}

[[noreturn]] void RaiseUnreadable(const std::error_code& ec) {
  throw EComPort::CreateFromSystemError(RegistryError, PlatformCode(ec));
}

// The first line of a small attribute file, without its line break; empty when unreadable.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  return line;
}

// The device node's name below the device folder, as the kernel announces it; tty class
// names stand for a '/' with '!'.
std::string DeviceNodeName(const fs::path& ttyDir) {
  std::ifstream in(ttyDir / "uevent");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("DEVNAME=", 0) == 0) return line.substr(8);
  std::string name = ttyDir.filename().string();
  std::replace(name.begin(), name.end(), '!', '/');
  return name;
}

// A tty with a driver behind it. Serial core ports report their UART kind in `type`, where 0
// means none: the kernel keeps such placeholders (ttyS1 to ttyS31 on most PCs) whether or not
// a chip answers. Older kernels without `type` hang them on the legacy serial8250 driver.
bool BackedByHardware(const fs::path& ttyDir) {
  std::error_code ec;
  if (!fs::exists(ttyDir / "device", ec)) return false;  // virtual consoles, pty master
  std::string type = ReadAttribute(ttyDir / "type");
  if (!type.empty()) return type != "0";
  fs::path driver = fs::read_symlink(ttyDir / "device" / "driver", ec);
  return ec || driver.filename() != "serial8250";
}

void AddDevicePorts(const TSerialPortSources& sources, std::vector<std::string>& names) {
  std::error_code ec;
  fs::directory_iterator it(sources.TtyClassDir, ec);
  if (ec) RaiseUnreadable(ec);
  for (fs::directory_iterator end; it != end; it.increment(ec)) {
    // A device unplugged during the scan just drops out; only the folder itself must read.
    const fs::path ttyDir = it->path();
    if (!BackedByHardware(ttyDir)) continue;
    std::string node = DeviceNodeName(ttyDir);
    std::error_code nodeError;
    if (!node.empty() && fs::exists(fs::path(sources.DevDir) / node, nodeError))
      names.push_back(std::move(node));
  }
  if (ec) RaiseUnreadable(ec);
}

// The pid of a published name: decimal digits without a leading zero that make a pid_t,
// so no other spelling of a number can name a process (ttySIM01, ttySIM4294967297).
std::optional<pid_t> PublishedPid(std::string_view digits) {
  if (digits.empty() || digits.front() < '1' || digits.front() > '9') return std::nullopt;
  pid_t pid = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return pid;
}

bool ProcessAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// A simulator publishes its port as the link ttySIM<pid> to its terminal; the link outlives
// a simulator that was killed, so it counts only while both its process and terminal exist.
// Any user can make the folder, so only links to character devices count, and a folder that
// cannot be read holds no simulators: it never hides the machine's own ports.
void AddSimulatorPorts(const TSerialPortSources& sources, std::vector<std::string>& names) {
  if (sources.SimDir.empty()) return;
  std::error_code ec;
  const fs::path dir = fs::absolute(sources.SimDir, ec);
  if (ec) return;
  fs::directory_iterator it(dir, ec);
  std::vector<std::string> found;
  constexpr std::string_view prefix = "ttySIM";
  for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::optional<pid_t> pid = PublishedPid(std::string_view(name).substr(prefix.size()));
    std::error_code entryError;
    if (pid && ProcessAlive(*pid) && fs::is_symlink(it->symlink_status(entryError)) &&
        fs::is_character_file(fs::status(it->path(), entryError)))
      found.push_back(it->path().string());
  }
  if (ec) return;
  names.insert(names.end(), found.begin(), found.end());
}

// Text order with ASCII letter case folded, so COM10 sorts before com2.
bool LessIgnoringCase(const std::string& a, const std::string& b) {
  auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [&](char x, char y) { return fold(x) < fold(y); });
}

}  // namespace

TSerialPortSources TSerialPortSources::Machine() {
  TSerialPortSources sources;
  const char* simDir = std::getenv("TOLVANE_SIM_DIR");
  sources.SimDir = simDir && *simDir ? simDir : "/tmp/tolvane-sim";
  return sources;
}

std::string TSerialPortSources::ListOrigin() const { return TtyClassDir; }

void ListSerialPorts(std::vector<std::string>& target, const TSerialPortSources& sources) {
  std::vector<std::string> names;
  AddDevicePorts(sources, names);
  AddSimulatorPorts(sources, names);
  std::stable_sort(names.begin(), names.end(), LessIgnoringCase);
  target = std::move(names);
}
