#pragma once
#include <string>

// Files a command-line program writes, and what the system says of a device it may not open.
namespace Os {

// A file opened for writing before its contents exist, so that a path that cannot be written
// fails before the work that produces them. An existing file keeps its contents until
// Replace; a file this made is removed again when nothing was written to it. Failures return
// false with errno set. The bytes go as they are (no line-end translation).
class TOutputFile {
public:
  TOutputFile() = default;
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  bool Open(const std::string& path);
  // Replaces the file's contents with text and closes it.
  bool Replace(const std::string& text);

private:
  std::string FPath;
  int FFd = -1;
  bool FCreated = false;
  bool FWritten = false;
};

// Whether the user's permissions forbid reading and writing the device at path (on Linux, a
// serial device of a group the user is not in), as opposed to its being in use. False where
// the system does not tell the two apart.
bool PermissionDenied(const std::string& path);

}  // namespace Os
