// Renders the main window offscreen to a PNG for the README:
//   tolvane-snapshot OUT.png [IMAGE.hex]
// The window is shown as it looks once a PIC16F877 has been recognised and a file loaded.
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "Unit1/Unit1.h"

namespace {

// Nothing is clicked while the picture is taken; a box would be a fault worth seeing.
class TNoDialogs : public IDialogService {
public:
  int MessageDlg(const std::string& text, TMsgDlgType) override {
    std::fprintf(stderr, "unexpected box: %s\n", text.c_str());
    return mrOk;
  }
  void ShowException(const std::string& text) override { MessageDlg(text, TMsgDlgType::mtError); }
  std::optional<std::string> OpenDlg(const std::string&) override { return std::nullopt; }
  std::optional<std::string> SaveDlg(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  bool HasDisplay() const override { return false; }
};

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.png [IMAGE.hex]\n", argv[0]);
    return 2;
  }
  TNoDialogs dialogs;
  TForm1 form(dialogs, {}, "/nonexistent/Tolvane.ini");
  form.Link.Chip.SelectChip(154);
  form.SetConnectionText(std::string(TProgrammerLink::RecognizedText) + form.Link.Chip.ChipName);
  for (auto button : {TToolButtonId::Write, TToolButtonId::Read, TToolButtonId::Erase,
                      TToolButtonId::Identify, TToolButtonId::Load, TToolButtonId::Save})
    form.SetButtonEnabled(button, true);
  form.SetStatusPanel(0, " Ready");
  if (argc > 2) {
    form.Memo.LoadFromFile(argv[2]);
    form.SetStatusPanel(1, std::string(" ") + argv[2]);
  }
  form.RepaintWindow();
  if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
