#pragma once

// The four kinds of message box the program shows, and the results they give.
enum class TMsgDlgType {
  mtWarning,       // "Warning", exclamation icon, OK
  mtError,         // "Error", stop icon, OK
  mtConfirmation,  // "Confirm", question icon, Yes and No (default, and Esc)
  mtCustom         // the application title, no icon, OK
};

constexpr int mrOk = 1;
constexpr int mrCancel = 2;  // closed by the close box
constexpr int mrYes = 6;
constexpr int mrNo = 7;
