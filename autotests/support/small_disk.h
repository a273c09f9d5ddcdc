#pragma once

// A real file system that runs out of space or refuses every change: a tmpfs
// of a few KiB mounted in a mount namespace of the test process's own, so
// that nothing stays mounted when the process ends, however it ends. Child
// processes started afterwards see it too.

#include <cstddef>
#include <string>

#include "autotests/support/test_support.h"

namespace vr512b::testing {

class SmallDisk {
 public:
  explicit SmallDisk(std::size_t kib = 64);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  // Why no disk could be mounted (not root, no user namespaces); empty once
  // mounted. A test without one skips with this reason.
  const std::string& unavailable() const { return unavailable_; }
  const std::string& path() const { return folder_.path(); }
  std::string File(const std::string& name) const { return folder_.File(name); }

  // Takes up every free block: the next byte written anywhere on the disk
  // fails with ENOSPC, while empty files can still be created and renamed.
  // Returns false if the disk would not fill.
  bool Fill();
  // Remounts the disk read-only: every change fails with EROFS, for root too.
  bool MakeReadOnly();

 private:
  TempDir folder_;
  std::string unavailable_;
  bool mounted_ = false;
};

}  // namespace vr512b::testing
