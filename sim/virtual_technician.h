#pragma once

#include <string>

namespace vr512b::sim {

class VirtualBench;

// Answers the console's questions by looking at the bench and carries out its
// notices, like a careful technician would.
class VirtualTechnician {
 public:
  explicit VirtualTechnician(VirtualBench& bench) : bench_(bench) {}
  bool Answer(const std::string& question);
  void CarryOut(const std::string& notice);

 private:
  VirtualBench& bench_;
};

}  // namespace vr512b::sim
