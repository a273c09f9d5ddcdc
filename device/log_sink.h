#pragma once

#include <string_view>

namespace vr512b {

// Where the device layers write their log lines.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void WriteLog(std::string_view text) = 0;
};

}  // namespace vr512b
