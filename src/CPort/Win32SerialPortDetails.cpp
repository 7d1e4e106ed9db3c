#include <windows.h>
#include <cfgmgr32.h>
#include <initguid.h>  // the device keys and classes below are defined here, not in a library
#include <devguid.h>
#include <devpkey.h>
#include <setupapi.h>

#include <map>

#include "CPort/SerialPortDetails.h"
#include "CPort/Win32SerialComm.h"

namespace {

// What the device manager tells of the USB device behind one port.
struct TUsbDevice {
  std::string UsbId, Product, Serial, InstanceId;
};

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string InstanceId(DEVINST node) {
  char id[MAX_DEVICE_ID_LEN + 1];
  return ::CM_Get_Device_IDA(node, id, sizeof id, 0) == CR_SUCCESS ? std::string(id) : std::string();
}

// The hexadecimal number after key ("VID_") in a device ID, lower case.
std::string IdPart(const std::string& id, const char* key) {
  const std::size_t at = Upper(id).find(key);
  if (at == std::string::npos) return {};
  std::string digits = id.substr(at + 4, 4);
  for (char& c : digits)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  return digits.size() == 4 ? digits : std::string();
}

// The product text the device reported on its bus, in the ANSI code page.
std::string BusReportedName(DEVINST node) {
  DEVPROPTYPE type = 0;
  WCHAR text[256];
  ULONG size = sizeof text;
  if (::CM_Get_DevNode_PropertyW(node, &DEVPKEY_Device_BusReportedDeviceDesc, &type,
                                 reinterpret_cast<PBYTE>(text), &size, 0) != CR_SUCCESS ||
      type != DEVPROP_TYPE_STRING)
    return {};
  char narrow[512];
  const int length = ::WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
  return length > 1 ? std::string(narrow, length - 1) : std::string();
}

// From a port's device up to the USB device that carries it: USB\VID_0403&PID_6001\A50285BI.
// A composite device's interface (…&MI_00) and a driver's own bus (FTDIBUS\…) lie between.
// Windows makes up an instance with '&' in it for a device without a serial number.
TUsbDevice UsbDeviceOf(DEVINST node) {
  for (int level = 0; level < 4; ++level) {
    const std::string id = InstanceId(node);
    const std::string upper = Upper(id);
    if (upper.rfind("USB\\VID_", 0) == 0 && upper.find("&MI_") == std::string::npos) {
      TUsbDevice device;
      device.UsbId = IdPart(id, "VID_") + ":" + IdPart(id, "PID_");
      device.Product = BusReportedName(node);
      const std::string instance = id.substr(id.rfind('\\') + 1);
      if (instance.find('&') == std::string::npos) device.Serial = instance;
      device.InstanceId = id;
      return device;
    }
    DEVINST parent = 0;
    if (::CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) break;
    node = parent;
  }
  return {};
}

// The port name a device of the Ports class was given, from its device key.
std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
  const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  char name[256];
  DWORD size = sizeof name - 1;
  DWORD type = 0;
  std::string port;
  if (::RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS &&
      type == REG_SZ) {
    name[size] = '\0';
    port = name;
  }
  ::RegCloseKey(key);
  return port;
}

// The USB devices behind the present ports, by upper-case port name.
std::map<std::string, TUsbDevice> UsbPorts() {
  std::map<std::string, TUsbDevice> ports;
  const HDEVINFO set = ::SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    const std::string port = PortNameOf(set, device);
    if (port.empty()) continue;
    TUsbDevice usb = UsbDeviceOf(device.DevInst);
    if (!usb.InstanceId.empty()) ports[Upper(port)] = std::move(usb);
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return ports;
}

}  // namespace

std::vector<TSerialPortDetails> DescribeSerialPorts(const TSerialPortSources& sources) {
  const std::vector<TSerialCommEntry> entries = ReadSerialComm(sources);
  const std::map<std::string, TUsbDevice> usb = UsbPorts();
  std::vector<TSerialPortDetails> ports;
  for (const TSerialCommEntry& entry : entries) {
    TSerialPortDetails port;
    port.Name = entry.Port;
    port.DevicePath = entry.Device;
    const auto found = usb.find(Upper(entry.Port));
    if (found != usb.end()) {
      port.UsbId = found->second.UsbId;
      port.Product = found->second.Product;
      port.Serial = found->second.Serial;
      port.ById = found->second.InstanceId;
    }
    ports.push_back(std::move(port));
  }
  return ports;
}
