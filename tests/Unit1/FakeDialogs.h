#pragma once
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "Unit1/DialogService.h"

// Answers the program's boxes and dialogs from a script and records what was asked.
class TFakeDialogs : public IDialogService {
public:
  struct TBox {
    std::string Text;
    TMsgDlgType Type;
  };
  std::vector<TBox> Boxes;
  std::vector<std::string> Exceptions;
  std::vector<std::string> Filters;
  std::vector<std::string> PresetNames;

  std::deque<int> Answers;                            // message box results; default OK / Yes
  std::deque<std::optional<std::string>> FileAnswers; // file dialogs; default: cancelled
  bool Display = false;                               // offscreen, as the tests run

  int MessageDlg(const std::string& text, TMsgDlgType type) override {
    Boxes.push_back({text, type});
    if (!Answers.empty()) {
      const int answer = Answers.front();
      Answers.pop_front();
      return answer;
    }
    return type == TMsgDlgType::mtConfirmation ? mrYes : mrOk;
  }
  void ShowException(const std::string& text) override { Exceptions.push_back(text); }
  std::optional<std::string> OpenDlg(const std::string& filter) override {
    Filters.push_back(filter);
    return NextFile();
  }
  std::optional<std::string> SaveDlg(const std::string& filter,
                                     const std::string& fileName) override {
    Filters.push_back(filter);
    PresetNames.push_back(fileName);
    return NextFile();
  }
  bool HasDisplay() const override { return Display; }

private:
  std::optional<std::string> NextFile() {
    if (FileAnswers.empty()) return std::nullopt;
    auto answer = FileAnswers.front();
    FileAnswers.pop_front();
    return answer;
  }
};
