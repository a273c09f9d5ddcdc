#pragma once

// Permissions as a technician meets them, also when the tests run as root
// (as CI machines often do): while an AsUnprivilegedUser lives, a root
// process acts as the user "nobody", whom a read-only folder stops. For any
// other user nothing changes. POSIX.

#include <unistd.h>

namespace vr512b::testing {

class AsUnprivilegedUser {
 public:
  static constexpr uid_t kNobody = 65534;

  AsUnprivilegedUser() {
    if (::geteuid() == 0)
      active_ = ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
  }
  ~AsUnprivilegedUser() {
    if (active_) {
      [[maybe_unused]] const int user = ::seteuid(0);
      [[maybe_unused]] const int group = ::setegid(0);
    }
  }
  AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
  AsUnprivilegedUser& operator=(const AsUnprivilegedUser&) = delete;

  // False when root could not become "nobody": permissions would not stop it.
  bool Effective() const { return active_ || ::geteuid() != 0; }

 private:
  bool active_ = false;
};

}  // namespace vr512b::testing
