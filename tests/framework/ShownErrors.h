#pragma once
#include <exception>
#include <string>
#include <vector>

#include "framework/Component.h"

// While it lives, the application's exception handler keeps the messages it is given instead
// of showing them; afterwards the handler is the default again.
class TShownErrors {
public:
  TShownErrors() {
    ApplicationExceptionHook = [this](std::exception_ptr error) {
      try {
        std::rethrow_exception(error);
      } catch (const std::exception& e) {
        Messages.push_back(e.what());
      }
    };
  }
  ~TShownErrors() { ApplicationExceptionHook = nullptr; }
  TShownErrors(const TShownErrors&) = delete;
  TShownErrors& operator=(const TShownErrors&) = delete;

  std::vector<std::string> Messages;
};
