#include <optional>

#include "CPort/ComPort.h"
#include "framework/Convert.h"
#include "framework/IniFile.h"
#include "framework/Registry.h"

// Storing and loading the port's settings. Both stores hold the same keys in the same order;
// only the groups in StoredProps are handled. Loading assigns through each setting's own
// setter, so a loaded value reaches an open device; a key that is missing leaves its setting.

namespace {

class TSettingsStore {
public:
  virtual ~TSettingsStore() = default;
  virtual void WriteString(const std::string& key, const std::string& value) = 0;
  virtual void WriteInteger(const std::string& key, int value) = 0;
  virtual std::optional<std::string> ReadString(const std::string& key) = 0;
  virtual std::optional<int> ReadInteger(const std::string& key) = 0;
};

class TIniStore : public TSettingsStore {
public:
  TIniStore(TIniFile& file, std::string section) : FFile(file), FSection(std::move(section)) {}
  void WriteString(const std::string& key, const std::string& value) override {
    FFile.WriteString(FSection, key, value);
  }
  void WriteInteger(const std::string& key, int value) override {
    FFile.WriteInteger(FSection, key, value);
  }
  std::optional<std::string> ReadString(const std::string& key) override {
    if (!FFile.ValueExists(FSection, key)) return std::nullopt;
    return FFile.ReadString(FSection, key, {});
  }
  // A value that is not a number is skipped like a missing one.
  std::optional<int> ReadInteger(const std::string& key) override {
    if (!FFile.ValueExists(FSection, key)) return std::nullopt;
    return TryStrToInt(FFile.ReadString(FSection, key, {}));
  }

private:
  TIniFile& FFile;
  std::string FSection;
};

class TRegistryStore : public TSettingsStore {
public:
  explicit TRegistryStore(TRegistryKey& key) : FKey(key) {}
  void WriteString(const std::string& key, const std::string& value) override {
    FKey.WriteString(key, value);
  }
  void WriteInteger(const std::string& key, int value) override { FKey.WriteInteger(key, value); }
  std::optional<std::string> ReadString(const std::string& key) override {
    return FKey.ReadString(key);
  }
  std::optional<int> ReadInteger(const std::string& key) override { return FKey.ReadInteger(key); }

private:
  TRegistryKey& FKey;
};

void StoreSettings(TCustomComPort& port, TSettingsStore& store) {
  TStoredProps groups = port.StoredProps();
  if (groups.Contains(spBasic)) {
    store.WriteString("Port", port.Port());
    store.WriteString("BaudRate", BaudRateText(port.BaudRate()));
    if (port.BaudRate() == brCustom) store.WriteInteger("CustomBaudRate", port.CustomBaudRate());
    store.WriteString("StopBits", StopBitsText(port.StopBits()));
    store.WriteString("DataBits", DataBitsText(port.DataBits()));
    store.WriteString("Parity", ParityText(port.Parity().Bits()));
    store.WriteString("FlowControl", FlowControlText(port.FlowControl().FlowControl()));
  }
  if (groups.Contains(spOthers)) {
    store.WriteString("EventChar", CharText(port.EventChar()));
    store.WriteString("DiscardNull", YesNoText(port.DiscardNull()));
  }
  if (groups.Contains(spParity)) {
    TComParity& parity = port.Parity();
    store.WriteString("Parity.Check", YesNoText(parity.Check()));
    store.WriteString("Parity.Replace", YesNoText(parity.Replace()));
    store.WriteString("Parity.ReplaceChar", CharText(parity.ReplaceChar()));
  }
  if (groups.Contains(spBuffer)) {
    store.WriteInteger("Buffer.OutputSize", port.Buffer().OutputSize());
    store.WriteInteger("Buffer.InputSize", port.Buffer().InputSize());
  }
  if (groups.Contains(spTimeouts)) {
    TComTimeouts& t = port.Timeouts();
    store.WriteInteger("Timeouts.ReadInterval", t.ReadInterval());
    store.WriteInteger("Timeouts.ReadTotalConstant", t.ReadTotalConstant());
    store.WriteInteger("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier());
    store.WriteInteger("Timeouts.WriteTotalConstant", t.WriteTotalConstant());
    store.WriteInteger("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier());
  }
  if (groups.Contains(spFlowControl)) {
    TComFlowControl& f = port.FlowControl();
    store.WriteString("FlowControl.ControlRTS", RTSControlText(f.ControlRTS()));
    store.WriteString("FlowControl.ControlDTR", DTRControlText(f.ControlDTR()));
    store.WriteString("FlowControl.DSRSensitivity", YesNoText(f.DSRSensitivity()));
    store.WriteString("FlowControl.OutCTSFlow", YesNoText(f.OutCTSFlow()));
    store.WriteString("FlowControl.OutDSRFlow", YesNoText(f.OutDSRFlow()));
    store.WriteString("FlowControl.TxContinueOnXoff", YesNoText(f.TxContinueOnXoff()));
    store.WriteString("FlowControl.XonXoffIn", YesNoText(f.XonXoffIn()));
    store.WriteString("FlowControl.XonXoffOut", YesNoText(f.XonXoffOut()));
    store.WriteString("FlowControl.XoffChar", CharText(f.XoffChar()));
    store.WriteString("FlowControl.XonChar", CharText(f.XonChar()));
  }
}

template <typename Setter>
void LoadText(TSettingsStore& store, const char* key, Setter set) {
  if (auto text = store.ReadString(key)) set(*text);
}

template <typename Setter>
void LoadInteger(TSettingsStore& store, const char* key, Setter set) {
  if (auto value = store.ReadInteger(key)) set(*value);
}

void LoadSettings(TCustomComPort& port, TSettingsStore& store) {
  TStoredProps groups = port.StoredProps();
  if (groups.Contains(spBasic)) {
    LoadText(store, "Port", [&](const std::string& s) { port.SetPort(s); });
    LoadText(store, "BaudRate", [&](const std::string& s) { port.SetBaudRate(BaudRateFromText(s)); });
    LoadInteger(store, "CustomBaudRate", [&](int v) { port.SetCustomBaudRate(v); });
    LoadText(store, "StopBits", [&](const std::string& s) { port.SetStopBits(StopBitsFromText(s)); });
    LoadText(store, "DataBits", [&](const std::string& s) { port.SetDataBits(DataBitsFromText(s)); });
    LoadText(store, "Parity", [&](const std::string& s) { port.Parity().SetBits(ParityFromText(s)); });
    LoadText(store, "FlowControl",
             [&](const std::string& s) { port.FlowControl().SetFlowControl(FlowControlFromText(s)); });
  }
  if (groups.Contains(spOthers)) {
    LoadText(store, "EventChar", [&](const std::string& s) { port.SetEventChar(CharFromText(s)); });
    LoadText(store, "DiscardNull", [&](const std::string& s) { port.SetDiscardNull(YesNoFromText(s)); });
  }
  if (groups.Contains(spParity)) {
    TComParity& parity = port.Parity();
    LoadText(store, "Parity.Check", [&](const std::string& s) { parity.SetCheck(YesNoFromText(s)); });
    LoadText(store, "Parity.Replace", [&](const std::string& s) { parity.SetReplace(YesNoFromText(s)); });
    LoadText(store, "Parity.ReplaceChar",
             [&](const std::string& s) { parity.SetReplaceChar(CharFromText(s)); });
  }
  if (groups.Contains(spBuffer)) {
    LoadInteger(store, "Buffer.OutputSize", [&](int v) { port.Buffer().SetOutputSize(v); });
    LoadInteger(store, "Buffer.InputSize", [&](int v) { port.Buffer().SetInputSize(v); });
  }
  if (groups.Contains(spTimeouts)) {
    TComTimeouts& t = port.Timeouts();
    LoadInteger(store, "Timeouts.ReadInterval", [&](int v) { t.SetReadInterval(v); });
    LoadInteger(store, "Timeouts.ReadTotalConstant", [&](int v) { t.SetReadTotalConstant(v); });
    LoadInteger(store, "Timeouts.ReadTotalMultiplier", [&](int v) { t.SetReadTotalMultiplier(v); });
    LoadInteger(store, "Timeouts.WriteTotalConstant", [&](int v) { t.SetWriteTotalConstant(v); });
    LoadInteger(store, "Timeouts.WriteTotalMultiplier", [&](int v) { t.SetWriteTotalMultiplier(v); });
  }
  if (groups.Contains(spFlowControl)) {
    TComFlowControl& f = port.FlowControl();
    auto yesNo = [&](const char* key, void (TComFlowControl::*set)(bool)) {
      LoadText(store, key, [&](const std::string& s) { (f.*set)(YesNoFromText(s)); });
    };
    LoadText(store, "FlowControl.ControlRTS",
             [&](const std::string& s) { f.SetControlRTS(RTSControlFromText(s)); });
    LoadText(store, "FlowControl.ControlDTR",
             [&](const std::string& s) { f.SetControlDTR(DTRControlFromText(s)); });
    yesNo("FlowControl.DSRSensitivity", &TComFlowControl::SetDSRSensitivity);
    yesNo("FlowControl.OutCTSFlow", &TComFlowControl::SetOutCTSFlow);
    yesNo("FlowControl.OutDSRFlow", &TComFlowControl::SetOutDSRFlow);
    yesNo("FlowControl.TxContinueOnXoff", &TComFlowControl::SetTxContinueOnXoff);
    yesNo("FlowControl.XonXoffIn", &TComFlowControl::SetXonXoffIn);
    yesNo("FlowControl.XonXoffOut", &TComFlowControl::SetXonXoffOut);
    LoadText(store, "FlowControl.XoffChar", [&](const std::string& s) { f.SetXoffChar(CharFromText(s)); });
    LoadText(store, "FlowControl.XonChar", [&](const std::string& s) { f.SetXonChar(CharFromText(s)); });
  }
}

}  // namespace

void TCustomComPort::StoreToRegistry(TRegistryKey& key) {
  TRegistryStore store(key);
  StoreSettings(*this, store);
}

void TCustomComPort::StoreToIniFile(const std::string& fileName) {
  TIniFile file(fileName);
  TIniStore store(file, Name());
  StoreSettings(*this, store);
  file.UpdateFile();
}

void TCustomComPort::LoadFromRegistry(TRegistryKey& key) {
  TRegistryStore store(key);
  LoadSettings(*this, store);
}

void TCustomComPort::LoadFromIniFile(const std::string& fileName) {
  TIniFile file(fileName);
  LoadFromIniFile(file);
}

void TCustomComPort::LoadFromIniFile(TIniFile& file) {
  TIniStore store(file, Name());
  LoadSettings(*this, store);
}
