#pragma once
#include <QComboBox>
#include <string>

#include "CPortCtl/ComSelect.h"
#include "framework/Component.h"

// A pick-only drop-down list of the values of one port setting. It shows the entry matching
// the linked port's setting and hands the user's pick back through Text and OnChange, or,
// with AutoApply, also writes it to the port. Only the user's picks raise OnChange.
class TComComboBox : public QComboBox, public TComponent {
  Q_OBJECT

public:
  explicit TComComboBox(QWidget* parent = nullptr);
  ~TComComboBox() override;

  std::string ClassName() const override { return "TComComboBox"; }

  // Rebuilt on every write, also of the same kind: cpPort reads the port list again. Then the
  // entry of the linked port's setting is selected (none when unlisted), entry 0 without a
  // port. A failing port list reaches the caller with the list empty.
  TComProperty ComProperty() const { return FComSelect.ComProperty(); }
  void SetComProperty(TComProperty kind);

  // Not owned; the link drops by itself when the port is destroyed.
  TCustomComPort* ComPort() const { return FComSelect.ComPort(); }
  void SetComPort(TCustomComPort* port);

  bool AutoApply() const { return FComSelect.AutoApply(); }
  void SetAutoApply(bool value) { FComSelect.SetAutoApply(value); }

  // The selected entry, empty when none. Writing selects the first entry equal with letter
  // case ignored and keeps the selection when none is.
  std::string Text() const;
  void SetText(const std::string& text);

  TComSelect& ComSelect() { return FComSelect; }

  TNotifyEvent OnChange;

protected:
  // The user's pick: record it (and apply it with AutoApply), then OnChange.
  virtual void Change();
  void Notification(TComponent* component, TOperation operation) override;

private:
  void UserPicked();
  void SyncSelection();

  TComSelect FComSelect;
  // The linked port seen as a component, kept to recognise its destruction notice: by then
  // only its component part is left.
  TComponent* FLinked = nullptr;
};
