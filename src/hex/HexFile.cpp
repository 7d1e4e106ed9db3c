#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "hex/HexImage.h"

namespace Hex {

THexImage LoadHexFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EHexFormat("cannot open " + path + ": " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw EHexFormat("cannot read " + path);
  try {
    return ReadHex(text.str());
  } catch (const EHexFormat& e) {
    throw EHexFormat(path + ", " + e.Message());
  }
}

void SaveHexFile(const std::string& path, const THexImage& image) {
  const std::string text = WriteHex(image, "\r\n");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw EHexFormat("cannot create " + path + ": " + std::strerror(errno));
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) throw EHexFormat("cannot write " + path);
}

}  // namespace Hex
