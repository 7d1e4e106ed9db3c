#include "Unit1/Application.h"

#include <QCollator>
#include <QLocale>
#include <QString>
#include <cstdio>

namespace {

// Text order as people sort it, where ")" and letters come after "." and "!" or "?" before.
bool SortsAfterFullStop(const QString& last) {
  static const QCollator collator{QLocale(QLocale::English, QLocale::UnitedStates)};
  return collator.compare(last, QStringLiteral(".")) > 0;
}

}  // namespace

std::string ExceptionBoxText(const std::string& message) {
  const QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
  if (!text.isEmpty() && SortsAfterFullStop(text.right(1))) return message + ".";
  return message;
}

void HandleCurrentException(IDialogService& dialogs) noexcept {
  std::string message;
  try {
    throw;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown exception";
  }
  try {
    dialogs.ShowException(ExceptionBoxText(message));
  } catch (...) {
    // The box itself failed: the message must still reach someone.
    std::fprintf(stderr, "%s: %s\n", ApplicationTitle, message.c_str());
  }
}
