#pragma once

#include <optional>
#include <string>

namespace vr512b {

// Recording a HID trace, as a front end starts and stops it.
class TraceControl {
 public:
  // Starts writing every feature transfer of both units to `path`, replacing
  // a trace being written. An error text when the file cannot be written,
  // else empty.
  virtual std::string StartTrace(const std::string& path) = 0;
  // Closes the trace: an error text when it did not all reach the file.
  virtual std::string StopTrace() = 0;
  virtual bool Tracing() const = 0;
  // Why a trace stopped being written in the middle of a run, the first time
  // it is asked; the recording has stopped then.
  virtual std::optional<std::string> TakeTraceFailure() = 0;

 protected:
  ~TraceControl() = default;
};

}  // namespace vr512b
