#pragma once
#include <string>

#include "image/ImageFile.h"
#include "os/Files.h"

namespace Cli {

// A path that stands for standard input or output.
inline constexpr const char* StandardStream = "-";

// The image a command is given: a file, or standard input for "-". Throws ECommand(ecBadFile)
// naming the file and line when it cannot be read or is not an image the programmer takes.
// `text` receives its bytes.
Image::TImageFile LoadImageArgument(const std::string& path, std::string& text);

// Writes all of text to standard output. A reader that has gone away (a closed pipe) ends
// the command with ECommand(ecBrokenPipe); other failures with ecBadFile.
void WriteStandardOutput(const std::string& text);

// Where read puts its HEX text: standard output for "" or "-", else a file opened before the
// chip is read, so that a path that cannot be written fails before the job starts. A file
// it made is removed again when nothing was written to it.
class TOutput {
public:
  explicit TOutput(const std::string& path);

  bool Standard() const { return FStandard; }
  const std::string& Name() const { return FPath; }
  // Replaces the file's contents with text (or writes it to standard output).
  void Write(const std::string& text);

private:
  std::string FPath;
  bool FStandard;
  Os::TOutputFile FFile;
};

}  // namespace Cli
