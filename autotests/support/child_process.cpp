#include "autotests/support/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "autotests/support/test_support.h"

extern char** environ;

namespace vr512b::testing {

namespace {

// Owns the file actions posix_spawn takes.
class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  void Open(int fd, const std::string& path, int flags) {
    posix_spawn_file_actions_addopen(&actions_, fd, path.c_str(), flags, 0600);
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings)
    pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

RunResult RunProcess(const std::vector<std::string>& command, const EnvChanges& changes) {
  TempDir dir;
  const std::string outPath = dir.File("out");
  const std::string errPath = dir.File("err");
  SpawnActions actions;
  actions.Open(0, "/dev/null", O_RDONLY);
  actions.Open(1, outPath, O_WRONLY | O_CREAT | O_TRUNC);
  actions.Open(2, errPath, O_WRONLY | O_CREAT | O_TRUNC);

  std::vector<std::string> args = command;
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable(*entry);
    if (!changes.contains(variable.substr(0, variable.find('='))))
      environment.push_back(variable);
  }
  for (const auto& [name, value] : changes) {
    if (value)
      environment.push_back(name + "=" + *value);
  }
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(environment);

  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], actions.get(), nullptr, argv.data(), envp.data()) != 0)
    throw std::runtime_error("cannot start " + args[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  RunResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

}  // namespace vr512b::testing
