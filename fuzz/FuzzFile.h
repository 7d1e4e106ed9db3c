#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The targets that read files get the fuzzer's bytes through one scratch file, made once per
// run and removed at exit.
class TScratchFile {
public:
  TScratchFile() {
    char pattern[] = "/tmp/tolvane-fuzz-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) std::abort();
    close(fd);
    FPath = pattern;
  }
  ~TScratchFile() { std::remove(FPath.c_str()); }

  const std::string& Write(const std::uint8_t* data, std::size_t size) {
    FILE* file = std::fopen(FPath.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) std::abort();
    return FPath;
  }

private:
  std::string FPath;
};
