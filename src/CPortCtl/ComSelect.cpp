#include "CPortCtl/ComSelect.h"

#include <QComboBox>
#include <QString>
#include <vector>

#include "CPort/ComPort.h"
#include "CPort/ListSerialPorts.h"

namespace {

// Entry texts and port names are 8-bit texts in the system's code page.
QString ToQString(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}
std::string FromQString(const QString& text) { return text.toLocal8Bit().toStdString(); }

// The entry texts of a line-setting kind, one per value in ordinal order.
template <typename TValue>
void AddTexts(QComboBox& items, int count, std::string (*text)(TValue)) {
  for (int i = 0; i < count; ++i) items.addItem(ToQString(text(static_cast<TValue>(i))));
}

}  // namespace

void TComSelect::FillForProperty(TComProperty kind) {
  FComProperty = kind;
  FItems.clear();
  switch (kind) {
    case cpNone:
      break;
    case cpPort: {
      std::vector<std::string> names;
      ListSerialPorts(names);
      for (const std::string& name : names) FItems.addItem(ToQString(name));
      break;
    }
    case cpBaudRate:
      AddTexts(FItems, br256000 + 1, BaudRateText);
      break;
    case cpDataBits:
      AddTexts(FItems, dbEight + 1, DataBitsText);
      break;
    case cpStopBits:
      AddTexts(FItems, sbTwoStopBits + 1, StopBitsText);
      break;
    case cpParity:
      AddTexts(FItems, prSpace + 1, ParityText);
      break;
    case cpFlowControl:
      AddTexts(FItems, fcCustom + 1, FlowControlText);
      break;
  }
}

void TComSelect::RecordChoice(const std::string& text) {
  StoreChoice(text);
  if (FAutoApply) ApplyChoice();
}

void TComSelect::StoreChoice(const std::string& text) {
  switch (FComProperty) {
    case cpNone:
      break;
    case cpPort:
      FChosenPort = text;
      break;
    case cpBaudRate:
      FChosenBaudRate = BaudRateFromText(text);
      break;
    case cpDataBits:
      FChosenDataBits = DataBitsFromText(text);
      break;
    case cpStopBits:
      FChosenStopBits = StopBitsFromText(text);
      break;
    case cpParity:
      FChosenParity = ParityFromText(text);
      break;
    case cpFlowControl:
      FChosenFlowControl = FlowControlFromText(text);
      break;
  }
}

void TComSelect::ApplyChoice() {
  if (!FComPort) return;
  switch (FComProperty) {
    case cpNone:
      break;
    case cpPort:
      FComPort->SetPort(FChosenPort);
      break;
    case cpBaudRate:
      FComPort->SetBaudRate(FChosenBaudRate);
      break;
    case cpDataBits:
      FComPort->SetDataBits(FChosenDataBits);
      break;
    case cpStopBits:
      FComPort->SetStopBits(FChosenStopBits);
      break;
    case cpParity:
      FComPort->Parity().SetBits(FChosenParity);
      break;
    case cpFlowControl:
      FComPort->FlowControl().SetFlowControl(FChosenFlowControl);
      break;
  }
}

std::optional<int> TComSelect::FindCurrentEntry() {
  if (!FComPort || FComProperty == cpNone) return std::nullopt;
  const int index = IndexOf(CurrentSettingText());
  // The entry's own text is kept, which may spell a port name in other letter case.
  if (index >= 0) StoreChoice(EntryText(index));
  return index;
}

std::string TComSelect::CurrentSettingText() const {
  switch (FComProperty) {
    case cpPort:
      return FComPort->Port();
    case cpBaudRate:
      return BaudRateText(FComPort->BaudRate());
    case cpDataBits:
      return DataBitsText(FComPort->DataBits());
    case cpStopBits:
      return StopBitsText(FComPort->StopBits());
    case cpParity:
      return ParityText(FComPort->Parity().Bits());
    case cpFlowControl:
      return FlowControlText(FComPort->FlowControl().FlowControl());
    case cpNone:
      break;
  }
  return {};
}

int TComSelect::IndexOf(const std::string& text) const {
  const QString wanted = ToQString(text);
  for (int i = 0; i < FItems.count(); ++i)
    if (FItems.itemText(i).compare(wanted, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

std::string TComSelect::EntryText(int index) const {
  return index < 0 || index >= FItems.count() ? std::string() : FromQString(FItems.itemText(index));
}
