#include "CPortCtl/ComComboBox.h"

#include <exception>

#include "CPort/ComPort.h"

TComComboBox::TComComboBox(QWidget* parent)
    : QComboBox(parent), TComponent(nullptr), FComSelect(*this) {
  setEditable(false);
  // `activated` comes from the user alone; the program's own selections stay silent.
  connect(this, &QComboBox::activated, this, &TComComboBox::UserPicked);
}

TComComboBox::~TComComboBox() = default;

void TComComboBox::SetComProperty(TComProperty kind) {
  FComSelect.FillForProperty(kind);
  if (count() == 0) return;
  if (!ComPort())
    setCurrentIndex(0);
  else
    SyncSelection();
}

void TComComboBox::SetComPort(TCustomComPort* port) {
  TCustomComPort* old = ComPort();
  if (port == old) return;
  if (old) old->RemoveFreeNotification(this);
  FComSelect.SetComPort(port);
  FLinked = port;
  if (!port) return;
  port->FreeNotification(this);
  SyncSelection();
}

std::string TComComboBox::Text() const { return FComSelect.EntryText(currentIndex()); }

void TComComboBox::SetText(const std::string& text) {
  const int index = FComSelect.IndexOf(text);
  if (index >= 0) setCurrentIndex(index);
}

void TComComboBox::Change() {
  FComSelect.RecordChoice(Text());
  if (OnChange) OnChange(this);
}

void TComComboBox::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != TOperation::opRemove || !FLinked || component != FLinked) return;
  FComSelect.SetComPort(nullptr);
  FLinked = nullptr;
  if (count() > 0) setCurrentIndex(0);
}

void TComComboBox::UserPicked() {
  // Nothing may leave a handler into Qt's event loop; the application shows what fails.
  try {
    Change();
  } catch (...) {
    HandleApplicationException(std::current_exception());
  }
}

void TComComboBox::SyncSelection() {
  if (const std::optional<int> index = FComSelect.FindCurrentEntry()) setCurrentIndex(*index);
}
