#pragma once

#include <QObject>

#include <memory>

namespace vr512b::gui {

// The system asking the console to end, told on the window's thread so that
// the window can abort a test and close as the operator would. On Linux,
// SIGINT and SIGTERM: the handler only writes the signal's number into a pipe,
// which a socket notifier watches. On Windows, the console's Ctrl+C, Ctrl+Break
// and close events and the end of the session (log-off, shutdown): the system
// waits while the window closes. WM_CLOSE needs nothing here: it is the
// window's own close. One object at a time; the handlers it replaced come back
// when it goes.
class TerminationSignals final : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 signals:
  void received(int signal);

 private:
  struct Pipe;
  std::unique_ptr<Pipe> pipe_;
};

}  // namespace vr512b::gui
