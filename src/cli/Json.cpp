#include "cli/Json.h"

#include <nlohmann/json.hpp>

namespace Cli {

namespace {

nlohmann::ordered_json OrNull(const std::string& text) { return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text); }

}  // namespace

std::string PortsJson(const std::vector<TSerialPortDetails>& ports) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const TSerialPortDetails& p : ports)
    list.push_back({{"name", p.Name},
                    {"device", OrNull(p.DevicePath)},
                    {"usb", OrNull(p.UsbId)},
                    {"product", OrNull(p.Product)},
                    {"serial", OrNull(p.Serial)},
                    {"by_id", OrNull(p.ById)},
                    {"simulator", p.Simulator}});
  return list.dump(2) + "\n";
}

std::string IdentifyJson(const std::string& chip, const std::string& idWord) {
  return nlohmann::ordered_json{{"chip", chip}, {"id_word", OrNull(idWord)}}.dump(2) + "\n";
}

}  // namespace Cli
