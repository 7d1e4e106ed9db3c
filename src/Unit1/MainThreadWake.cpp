#include "Unit1/MainThreadWake.h"

#include <QCoreApplication>

#include "Unit1/Application.h"
#include "framework/Component.h"
#include "framework/Thread.h"

void InstallMainThreadWake() {
  WakeMainThread = [] {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) return;  // the program is ending
    QMetaObject::invokeMethod(
        application,
        [] {
          // Exceptions of the queued work go back to the thread that queued it; nothing
          // else may reach the event loop.
          try {
            CheckSynchronize();
          } catch (...) {
            HandleApplicationException(std::current_exception());
          }
        },
        Qt::QueuedConnection);
  };
}

void InstallApplicationExceptionHandler(IDialogService& dialogs) {
  ApplicationExceptionHook = [&dialogs](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (...) {
      HandleCurrentException(dialogs);
    }
  };
}
