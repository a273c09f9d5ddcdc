// The test-parameter file with fuzzer-written contents, through the round
// trip of settings_round_trip.h.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "autotests/support/settings_round_trip.h"

namespace {

// One folder for the whole run, in memory when the system has it (every save
// syncs), removed at exit. It holds no state from one input to the next: the
// file is rewritten in full and the lock file removed each time.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    pattern += "/vr512b-settings-fuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string File() const { return path_ + "/DiagVR512B.reg"; }

 private:
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ScratchFolder folder;
  const std::string file = folder.File();
  // The previous input's save left its lock file; loading must be seen to
  // make none.
  std::error_code ignored;
  std::filesystem::remove(file + ".lock", ignored);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
      std::perror("settings_file: writing the input");
      std::abort();
    }
  }

  vr512b::TestParameterValues loaded;
  const std::string problem = vr512b::testing::SettingsRoundTripProblem(file, loaded);
  if (problem.empty())
    return 0;
  std::fprintf(stderr, "settings_file: %s\n", problem.c_str());
  std::abort();
}
