#include "gui/termination_signals.h"

#include <QApplication>
#include <QSessionManager>
#include <QWidget>

#include "common/windows_api.h"

#include <atomic>

namespace vr512b::gui {

namespace {

// What the console's control handler tells: it runs on a thread of the
// system's and can reach nothing but what is global.
std::atomic<TerminationSignals*> handlerTarget{nullptr};
// Set once the object is gone, that is once the window has closed and the
// session has ended: the system ends the process as soon as the handler of a
// close, log-off or shutdown event returns.
std::atomic<HANDLE> handlerDone{nullptr};

// The system gives a console program 5 s after those events; the rest of the
// wait is kept for the process's own exit.
constexpr DWORD kEndWaitMs = 4500;

// Passed on as the signal number: the event, above any signal's.
constexpr int kControlEventBase = 0x100;

BOOL WINAPI ForwardControlEvent(DWORD event) {
  TerminationSignals* target = handlerTarget.load();
  if (target == nullptr)
    return FALSE;
  QMetaObject::invokeMethod(
      target, [target, event] { emit target->received(kControlEventBase + int(event)); },
      Qt::QueuedConnection);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    if (HANDLE done = handlerDone.load())
      ::WaitForSingleObject(done, kEndWaitMs);
  }
  return TRUE;
}

bool AnyWindowOpen() {
  for (const QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible())
      return true;
  }
  return false;
}

}  // namespace

struct TerminationSignals::Pipe {
  HANDLE done = nullptr;
  bool installed = false;

  ~Pipe() {
    if (installed)
      ::SetConsoleCtrlHandler(ForwardControlEvent, FALSE);
    handlerTarget.store(nullptr);
    if (done != nullptr) {
      ::SetEvent(done);
      handlerDone.store(nullptr);
      // A handler that took the handle just before waits on a set event or
      // on a closed handle: either ends its wait at once.
      ::CloseHandle(done);
    }
  }
};

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent), pipe_(std::make_unique<Pipe>()) {
  // The end of the session (WM_QUERYENDSESSION): the window is asked to close
  // as on SIGTERM. A test still running first closes its units; until the
  // window has closed the session is asked to wait.
  if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    connect(application, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager& manager) {
              emit received(kControlEventBase + CTRL_LOGOFF_EVENT);
              if (AnyWindowOpen())
                manager.cancel();
            });
  }
  pipe_->done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  handlerDone.store(pipe_->done);
  handlerTarget.store(this);
  pipe_->installed = ::SetConsoleCtrlHandler(ForwardControlEvent, TRUE) != FALSE;
}

TerminationSignals::~TerminationSignals() = default;

}  // namespace vr512b::gui
