#pragma once

#include <string>

namespace vr512b {

// The name of this computer as the network knows it (UTF-8); empty when the
// system gives none.
std::string HostName();

}  // namespace vr512b
