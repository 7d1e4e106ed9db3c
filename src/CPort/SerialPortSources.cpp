#include "CPort/ListSerialPorts.h"

namespace {

const TSerialPortSources* InstalledSources = nullptr;

}  // namespace

void SetSerialPortSources(const TSerialPortSources* sources) { InstalledSources = sources; }

void ListSerialPorts(std::vector<std::string>& target) {
  if (InstalledSources)
    ListSerialPorts(target, *InstalledSources);
  else
    ListSerialPorts(target, TSerialPortSources::Machine());
}
