#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "CPort/ComSettings.h"

class QComboBox;
class TCustomComPort;

// Which setting of the port a selector offers.
enum TComProperty : std::uint8_t {
  cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl
};

// The logic of a selector: which entries it offers, what the user chose, and how that choice
// reaches the port. It works on the entry list of the combo box that owns it.
class TComSelect {
public:
  explicit TComSelect(QComboBox& items) : FItems(items) {}

  TComProperty ComProperty() const { return FComProperty; }
  TCustomComPort* ComPort() const { return FComPort; }
  void SetComPort(TCustomComPort* port) { FComPort = port; }
  bool AutoApply() const { return FAutoApply; }
  void SetAutoApply(bool value) { FAutoApply = value; }

  // Stores the kind, then rebuilds the entry list for it; cpPort reads the port list afresh.
  // A failing read leaves the list empty and raises.
  void FillForProperty(TComProperty kind);
  // Remembers the value the text names for the current kind; with AutoApply, applies it.
  void RecordChoice(const std::string& text);
  // Writes the remembered value of the current kind to the linked port.
  void ApplyChoice();
  // The entry showing the port's current setting (-1 when it is not listed), remembered as
  // the choice; no index without a port or a kind.
  std::optional<int> FindCurrentEntry();

  // The first entry equal to text with letter case ignored; -1 when there is none.
  int IndexOf(const std::string& text) const;
  std::string EntryText(int index) const;

  const std::string& ChosenPort() const { return FChosenPort; }
  TBaudRate ChosenBaudRate() const { return FChosenBaudRate; }
  TDataBits ChosenDataBits() const { return FChosenDataBits; }
  TStopBits ChosenStopBits() const { return FChosenStopBits; }
  TParityBits ChosenParity() const { return FChosenParity; }
  TFlowControl ChosenFlowControl() const { return FChosenFlowControl; }

private:
  // Remembers the value the text names for the current kind, without applying it.
  void StoreChoice(const std::string& text);
  // The text form of the port's current value of the kind.
  std::string CurrentSettingText() const;

  std::string FChosenPort;
  TBaudRate FChosenBaudRate = brCustom;
  TDataBits FChosenDataBits = dbFive;
  TStopBits FChosenStopBits = sbOneStopBit;
  TParityBits FChosenParity = prNone;
  TFlowControl FChosenFlowControl = fcHardware;
  QComboBox& FItems;  // the combo box's own list, not owned
  TComProperty FComProperty = cpNone;
  TCustomComPort* FComPort = nullptr;
  bool FAutoApply = false;
};
