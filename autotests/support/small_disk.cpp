#include "autotests/support/small_disk.h"

#ifdef _WIN32

namespace vr512b::testing {

SmallDisk::SmallDisk(std::size_t) : unavailable_("no tmpfs on Windows") {}
SmallDisk::~SmallDisk() = default;
bool SmallDisk::Fill() {
  return false;
}
bool SmallDisk::MakeReadOnly() {
  return false;
}

}  // namespace vr512b::testing

#else

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace vr512b::testing {

namespace {

bool WriteProcFile(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

// Once per process. Returns why it failed, empty on success.
std::string EnterPrivateMountNamespace() {
  static const std::string outcome = [] {
    if (::unshare(CLONE_NEWNS) != 0) {
      // Not root: a user namespace of our own gives the right to mount,
      // where the kernel allows it and the process has a single thread.
      const uid_t uid = ::geteuid();
      const gid_t gid = ::getegid();
      if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
        return std::string("cannot make a mount namespace (not root, no user namespaces: ") +
               std::strerror(errno) + ")";
      }
      if (!WriteProcFile("/proc/self/setgroups", "deny") ||
          !WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
          !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
        return std::string("cannot map the user into its namespace");
      }
    }
    // Mounts made here must not reach the machine's own namespace.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return std::string("cannot make the mounts private: ") + std::strerror(errno);
    return std::string();
  }();
  return outcome;
}

}  // namespace

SmallDisk::SmallDisk(std::size_t kib) {
  unavailable_ = EnterPrivateMountNamespace();
  if (!unavailable_.empty())
    return;
  const std::string options = "size=" + std::to_string(kib) + "k,mode=0777";
  if (::mount("vr512b-test", path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
    unavailable_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    return;
  }
  mounted_ = true;
}

SmallDisk::~SmallDisk() {
  if (mounted_)
    ::umount2(path().c_str(), MNT_DETACH);
}

bool SmallDisk::Fill() {
  const int fd = ::open(File(".filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0)
    return false;
  const std::vector<char> block(4096, 'x');
  // Whole blocks first, then single bytes for what a partial block leaves.
  for (std::size_t size : {block.size(), std::size_t{1}}) {
    while (::write(fd, block.data(), size) > 0) {
    }
  }
  const bool full = errno == ENOSPC;
  ::close(fd);
  return full;
}

bool SmallDisk::MakeReadOnly() {
  return ::mount(nullptr, path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

}  // namespace vr512b::testing

#endif
