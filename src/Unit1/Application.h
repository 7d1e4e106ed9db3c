#pragma once
#include <exception>
#include <string>
#include <utility>

#include "Unit1/DialogService.h"

// The application's title: the caption of the top-level error box and of the status dialog.
inline constexpr const char* ApplicationTitle = "Vop's Tolvane II";

// The top-level handler's text: the message, with "." added when its last character sorts
// after ".".
std::string ExceptionBoxText(const std::string& message);

// Shows the exception that is being handled in the top-level error box; the program carries on.
void HandleCurrentException(IDialogService& dialogs) noexcept;

// Runs a handler that the toolkit calls, so that no exception crosses its event loop.
template <typename Handler>
void Guarded(IDialogService& dialogs, Handler&& handler) noexcept {
  try {
    std::forward<Handler>(handler)();
  } catch (...) {
    HandleCurrentException(dialogs);
  }
}
