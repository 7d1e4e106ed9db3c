#include "Unit1/MainThreadWake.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include "Unit1/Application.h"
#include "framework/Component.h"
#include "framework/Thread.h"

namespace {

// Runs the work queued for the main thread when the event loop hands it the wake event: one
// small event per wake, taken straight to this object.
class TMainThreadWake : public QObject {
public:
  static constexpr QEvent::Type WakeEvent = QEvent::User;
  using QObject::QObject;

protected:
  bool event(QEvent* event) override {
    if (event->type() != WakeEvent) return QObject::event(event);
    // Exceptions of the queued work go back to the thread that queued it; nothing else may
    // reach the event loop.
    try {
      CheckSynchronize();
    } catch (...) {
      HandleApplicationException(std::current_exception());
    }
    return true;
  }
};

QPointer<TMainThreadWake> Receiver;

}  // namespace

void InstallMainThreadWake() {
  QCoreApplication* application = QCoreApplication::instance();
  if (!application) return;
  if (!Receiver || Receiver->parent() != application) Receiver = new TMainThreadWake(application);
  WakeMainThread = [receiver = Receiver.data()] {
    // The receiver lives as long as the application; once that is gone nobody runs the work.
    if (QCoreApplication::instance())
      QCoreApplication::postEvent(receiver, new QEvent(TMainThreadWake::WakeEvent));
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
