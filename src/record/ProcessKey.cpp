#include "record/ProcessKey.h"

#include <fstream>
#include <sstream>

namespace Record {

namespace {

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

std::string ProcessKey(pid_t pid) {
  // The start time is the 22nd field of stat, the 20th after the name in parentheses, which
  // may itself hold spaces and parentheses.
  const std::string stat = FirstLine("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t nameEnd = stat.rfind(')');
  if (nameEnd == std::string::npos) return {};
  std::istringstream fields(stat.substr(nameEnd + 1));
  std::string field;
  for (int i = 0; i < 20 && fields >> field; ++i) {
  }
  if (!fields) return {};
  return FirstLine("/proc/sys/kernel/random/boot_id") + ":" + field;
}

}  // namespace Record
