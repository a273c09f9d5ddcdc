#pragma once

#include <string>

namespace vr512b::gui {

// Someone who answers the console's questions and carries out its notices in
// place of the person at the screen (the virtual technician of the virtual
// bench, or a test).
class OperatorStandIn {
 public:
  virtual ~OperatorStandIn() = default;
  // Whether the stand-in answers now; when not, the message boxes ask the person.
  virtual bool Answering() const = 0;
  virtual bool Answer(const std::string& question) = 0;
  virtual void CarryOut(const std::string& notice) = 0;
};

}  // namespace vr512b::gui
