#include "CPort/SerialPortDetails.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The first line of a small attribute file, without its line break; empty when unreadable.
std::string Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

fs::path Resolved(const fs::path& path) {
  std::error_code ec;
  fs::path resolved = fs::canonical(path, ec);
  return ec ? fs::path() : resolved;
}

// A tty on USB hangs below its interface, below the USB device that carries the vendor and
// product numbers: walk up from the tty's device until a folder has them.
void AddUsbDetails(const fs::path& ttyDir, TSerialPortDetails& port) {
  fs::path dir = Resolved(ttyDir / "device");
  for (int level = 0; level < 8 && !dir.empty() && dir != dir.root_path(); ++level) {
    const std::string vendor = Attribute(dir / "idVendor");
    const std::string product = Attribute(dir / "idProduct");
    if (!vendor.empty() && !product.empty()) {
      port.UsbId = vendor + ":" + product;
      port.Product = Attribute(dir / "product");
      port.Serial = Attribute(dir / "serial");
      return;
    }
    dir = dir.parent_path();
  }
}

void AddStableName(const fs::path& byIdDir, TSerialPortDetails& port) {
  const fs::path node = Resolved(port.DevicePath);
  if (node.empty()) return;
  std::error_code ec;
  for (fs::directory_iterator it(byIdDir, ec), end; !ec && it != end; it.increment(ec))
    if (Resolved(it->path()) == node) {
      port.ById = it->path().string();
      return;
    }
}

}  // namespace

std::vector<TSerialPortDetails> DescribeSerialPorts(const TSerialPortSources& sources) {
  std::vector<std::string> names;
  ListSerialPorts(names, sources);
  std::vector<TSerialPortDetails> ports;
  for (const std::string& name : names) {
    TSerialPortDetails port;
    port.Name = name;
    if (fs::path(name).is_absolute()) {
      // Simulators are named by the link they publish.
      port.Simulator = true;
      port.DevicePath = Resolved(name).string();
    } else {
      port.DevicePath = (fs::path(sources.DevDir) / name).string();
      // The tty class names a node below a sub-folder with '!' for '/'.
      std::string entry = name;
      std::replace(entry.begin(), entry.end(), '/', '!');
      AddUsbDetails(fs::path(sources.TtyClassDir) / entry, port);
      AddStableName(fs::path(sources.DevDir) / "serial" / "by-id", port);
    }
    ports.push_back(std::move(port));
  }
  return ports;
}
