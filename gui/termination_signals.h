#pragma once

#include <QObject>

#include <memory>

namespace vr512b::gui {

// SIGINT and SIGTERM, told on the window's thread: the handler only writes
// the signal's number into a pipe, which a socket notifier watches, so that
// the window can abort a test and close as the operator would. One object at
// a time; the handlers it replaced come back when it goes. Nothing on
// Windows, where a window is asked to close by a message instead.
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
