#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "autotests/history/history_test_support.h"

namespace vr512b::history::testing {

std::vector<int> RunInChildren(int count, const std::function<int(int)>& work) {
  int gate[2];
  if (::pipe(gate) != 0)
    throw std::runtime_error("pipe failed");
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(gate[1]);
      char byte;
      // Released when the parent closes its end: all children at once.
      while (::read(gate[0], &byte, 1) < 0) {
      }
      int status = 100;
      try {
        status = work(i);
      } catch (...) {
        status = 101;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  ::close(gate[0]);
  ::close(gate[1]);
  std::vector<int> statuses;
  for (const pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    statuses.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  return statuses;
}

}  // namespace vr512b::history::testing
