#pragma once
// What the window's jobs need around them: message boxes answered by script, and a folder of
// their own for the run's files.
#include <stdlib.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Unit1/DialogService.h"

// Answers every box with OK or Yes and hands out the files it is given; what the program
// wanted to show is kept, since a job that shows anything has failed.
class TScriptedDialogs : public IDialogService {
public:
  std::deque<std::string> Files;
  std::vector<std::string> Shown;
  int MessageDlg(const std::string& text, TMsgDlgType type) override {
    Shown.push_back(text);
    return type == TMsgDlgType::mtConfirmation ? mrYes : mrOk;
  }
  void ShowException(const std::string& text) override { Shown.push_back(text); }
  std::optional<std::string> OpenDlg(const std::string&) override {
    if (Files.empty()) return std::nullopt;
    std::string file = Files.front();
    Files.pop_front();
    return file;
  }
  std::optional<std::string> SaveDlg(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  bool HasDisplay() const override { return false; }
};

// Removed with everything in it at the end.
class TTempFolder {
public:
  TTempFolder() {
    char name[] = "/tmp/tolvane-bench-XXXXXX";
    if (!::mkdtemp(name)) throw std::runtime_error("mkdtemp failed");
    FPath = name;
  }
  ~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  std::string File(const std::string& name) const { return FPath + "/" + name; }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
    return File(name);
  }
  const std::string& Path() const { return FPath; }

private:
  std::string FPath;
};
