#pragma once
#include "Unit1/DialogService.h"

class QWidget;

// The real boxes and dialogs: application-modal, centred on the screen.
class TQtDialogService : public IDialogService {
public:
  // Boxes are owned by parent while they are up; parent may be null.
  explicit TQtDialogService(QWidget* parent = nullptr) : FParent(parent) {}
  void SetParent(QWidget* parent) { FParent = parent; }

  int MessageDlg(const std::string& text, TMsgDlgType type) override;
  void ShowException(const std::string& text) override;
  std::optional<std::string> OpenDlg(const std::string& filter) override;
  std::optional<std::string> SaveDlg(const std::string& filter,
                                     const std::string& fileName) override;
  bool HasDisplay() const override;

  // "Hexfiler|*.HEX|Alle filer|*.*" as the toolkit writes it: "Hexfiler (*.HEX);;Alle filer (*.*)".
  static std::string ToQtFilter(const std::string& filter);

private:
  QWidget* FParent;
};
