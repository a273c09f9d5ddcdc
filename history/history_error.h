#pragma once

#include <stdexcept>
#include <string>

namespace vr512b::history {

// A failure of the history inside this library; its text is ready to be shown
// to the operator. The RunHistory objects turn it into an outcome.
class HistoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vr512b::history
