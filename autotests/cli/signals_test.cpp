// vr512b-diag-cli as a process: SIGINT and SIGTERM press Abort, also while
// the operator is asked something, and a stdout that goes away or fills up
// neither hangs nor kills the run, but is reported. POSIX processes and
// signals: Linux only.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "autotests/support/test_support.h"
#include "trace/trace_reader.h"

namespace vr512b {
namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using testing::Lines;

constexpr const char* kClosedUnderTest = "Проверяемое устройство закрыто";
constexpr const char* kClosedReference = "Эталонное устройство закрыто";

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0)
      ::close(std::exchange(fd_, -1));
  }

 private:
  int fd_ = -1;
};

std::pair<Fd, Fd> MakePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe2 failed");
  return {Fd(fds[0]), Fd(fds[1])};
}

// What to do to a runner, and when: `delay` after `trigger` first shows on
// its stdout or stderr (after the start when there is no trigger).
struct Cue {
  std::string trigger;
  milliseconds delay{0};
  int signal = 0;
  bool closeStdout = false;
};

// Where a runner's stdout goes instead of a pipe, and whether its stdin is a
// pipe that stays open and silent (an operator who does not answer).
struct Streams {
  bool stdoutClosed = false;
  std::string stdoutFile;  // opened for writing, e.g. /dev/full
  bool silentStdin = false;
  std::optional<rlim_t> fileSizeLimit;  // RLIMIT_FSIZE, as `ulimit -f` sets it

  static Streams StdoutClosed() {
    Streams streams;
    streams.stdoutClosed = true;
    return streams;
  }
  static Streams StdoutTo(std::string file) {
    Streams streams;
    streams.stdoutFile = std::move(file);
    return streams;
  }
  static Streams Silent() {
    Streams streams;
    streams.silentStdin = true;
    return streams;
  }
};

// The real executable with the virtual bench, its stdout and stderr read
// through pipes. One still running when the object goes is killed.
class Runner {
 public:
  Runner(const std::vector<std::string>& args, Cue cue, Streams streams = {})
      : cue_(std::move(cue)), started_(SteadyClock::now()) {
    std::vector<std::string> argv = {VR512B_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
      pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    auto [outRead, outWrite] = MakePipe();
    auto [errRead, errWrite] = MakePipe();
    auto [inRead, inWrite] = MakePipe();
    Fd outFile;
    if (!streams.stdoutFile.empty())
      outFile = Fd(::open(streams.stdoutFile.c_str(), O_WRONLY | O_CLOEXEC));

    pid_ = ::fork();
    if (pid_ < 0)
      throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      // Only async-signal-safe calls between fork and exec.
      if (streams.stdoutClosed)
        ::close(STDOUT_FILENO);
      else
        ::dup2(outFile.valid() ? outFile.get() : outWrite.get(), STDOUT_FILENO);
      if (streams.silentStdin)
        ::dup2(inRead.get(), STDIN_FILENO);
      ::dup2(errWrite.get(), STDERR_FILENO);
      // The runner starts with default dispositions and nothing blocked,
      // whatever this test program runs with.
      struct sigaction defaults {};
      defaults.sa_handler = SIG_DFL;
      for (int sig : {SIGINT, SIGTERM, SIGPIPE, SIGXFSZ})
        ::sigaction(sig, &defaults, nullptr);
      if (streams.fileSizeLimit) {
        const rlimit limit{*streams.fileSizeLimit, *streams.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::execv(pointers[0], pointers.data());
      ::_exit(127);
    }
    out_ = std::move(outRead);
    err_ = std::move(errRead);
    // Kept open and never written: a read of stdin waits.
    silentStdin_ = std::move(inWrite);
    if (cue_.trigger.empty())
      cuedAt_ = started_;
  }

  int TermSignal() const { return status_ && WIFSIGNALED(*status_) ? WTERMSIG(*status_) : 0; }

  ~Runner() {
    if (!status_ && pid_ > 0) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  void AddPollFds(std::vector<pollfd>& fds) const {
    for (const Fd* fd : {&out_, &err_}) {
      if (fd->valid())
        fds.push_back({fd->get(), POLLIN, 0});
    }
  }
  void ReadReady(const std::vector<pollfd>& fds) {
    for (const pollfd& p : fds) {
      if (p.revents == 0)
        continue;
      if (p.fd == out_.get())
        Drain(out_, out);
      else if (p.fd == err_.get())
        Drain(err_, err);
    }
  }
  // Acts on the cue once its moment has come, and reaps the process once
  // both pipes are closed.
  void Step() {
    const SteadyClock::time_point now = SteadyClock::now();
    if (!cuedAt_ && (out.find(cue_.trigger) != std::string::npos ||
                     err.find(cue_.trigger) != std::string::npos))
      cuedAt_ = now;
    // A process already reaped is never signalled: its number may be
    // someone else's by now.
    if (cuedAt_ && !acted_ && !status_ && now >= *cuedAt_ + cue_.delay) {
      acted_ = true;
      if (cue_.closeStdout)
        out_.Reset();
      if (cue_.signal != 0) {
        ::kill(pid_, cue_.signal);
        signalledAt_ = now;
      }
    }
    if (!status_ && !out_.valid() && !err_.valid()) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        endedAt_ = now;
      }
    }
  }
  bool Finished() const { return status_.has_value(); }

  int ExitStatus() const { return status_ && WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1; }
  bool Signalled() const { return signalledAt_.has_value(); }
  // From the start to the cue's trigger.
  milliseconds CueTime() const {
    return std::chrono::duration_cast<milliseconds>(*cuedAt_ - started_);
  }
  // From the signal to the end of the process.
  milliseconds StopTime() const {
    return std::chrono::duration_cast<milliseconds>(*endedAt_ - *signalledAt_);
  }
  pid_t pid() const { return pid_; }

  std::string out;
  std::string err;

 private:
  static void Drain(Fd& fd, std::string& into) {
    char buffer[4096];
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got > 0)
      into.append(buffer, static_cast<std::size_t>(got));
    else if (got == 0 || (errno != EINTR && errno != EAGAIN))
      fd.Reset();
  }

  Cue cue_;
  pid_t pid_ = -1;
  Fd out_;
  Fd err_;
  Fd silentStdin_;
  SteadyClock::time_point started_;
  std::optional<SteadyClock::time_point> cuedAt_;
  std::optional<SteadyClock::time_point> signalledAt_;
  std::optional<SteadyClock::time_point> endedAt_;
  std::optional<int> status_;
  bool acted_ = false;
};

// Runs all runners side by side (the bench runs on the real clock, so this
// is what keeps the suite short) until each has ended or the time is up.
// `tick` runs after every pass.
void RunAll(const std::vector<Runner*>& runners, SteadyClock::duration limit,
            const std::function<void()>& tick = {}) {
  const SteadyClock::time_point deadline = SteadyClock::now() + limit;
  while (SteadyClock::now() < deadline) {
    std::vector<pollfd> fds;
    for (const Runner* runner : runners)
      runner->AddPollFds(fds);
    if (!fds.empty())
      ::poll(fds.data(), fds.size(), 20);
    else
      std::this_thread::sleep_for(milliseconds(10));
    bool all = true;
    for (Runner* runner : runners) {
      runner->ReadReady(fds);
      runner->Step();
      all = all && runner->Finished();
    }
    if (tick)
      tick();
    if (all)
      return;
  }
}

std::vector<std::string> StatusLines(const std::string& err) {
  std::vector<std::string> cells;
  for (const std::string& line : Lines(err)) {
    if (line.starts_with("ST"))
      cells.push_back(line);
  }
  return cells;
}

struct SignalCase {
  std::string test;
  milliseconds delay;  // after the first unit is opened
  int signal;
  int status;
  std::vector<std::string> cells;    // the status lines on stderr
  std::vector<std::string> closing;  // the last lines of the log
};

class CliSignals : public ::testing::Test {
 protected:
  std::vector<std::string> Args(const std::string& name, std::vector<std::string> more) {
    std::vector<std::string> args = {"--simulate", "--settings", dir.File(name + ".reg")};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  testing::TempDir dir;
};

// Whether process `pid` has a handler for `signal` (its SigCgt mask), so that
// the signal presses Abort rather than ending it.
bool CatchesSignal(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigCgt:", 0) == 0)
      return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1u;
  }
  return false;
}

TEST_F(CliSignals, ASignalPressesAbortAndTheRunEndsWithItsUnitsClosed) {
  const std::vector<std::string> one = {kClosedUnderTest, ""};
  const std::vector<std::string> both = {kClosedUnderTest, kClosedReference, ""};
  const std::vector<SignalCase> cases = {
      {"func", milliseconds(300), SIGINT, 2, {"STFunc: Прервано"}, one},
      // The indication and sound tests look for Abort only before they open
      // the unit: a signal after that lets them run to their verdict. The
      // indication test is over a quarter of a second after the open.
      {"indic", milliseconds(100), SIGINT, 0, {"STIndic: OK"}, one},
      {"sound", milliseconds(300), SIGINT, 0, {"STSound: OK"}, one},
      {"tr", milliseconds(300), SIGTERM, 2, {"STTestTR: Прервано"}, both},
      {"rx", milliseconds(300), SIGINT, 2, {"STTestRX: Прервано"}, both},
      {"line", milliseconds(300), SIGINT, 2, {"STTestLine: Прервано"}, one},
      {"trmess", milliseconds(300), SIGINT, 2, {"STTestTRMess: Прервано"}, both},
      {"rxmess", milliseconds(300), SIGINT, 2, {"STTestRXMess: Прервано"}, both},
      // The monitor has no status cell; it always ends "Прервано".
      {"monitor", milliseconds(300), SIGTERM, 2, {}, one},
      // The interrupt stops the whole run inside its first test.
      {"all", milliseconds(300), SIGINT, 2, {"STFunc: Прервано"}, one},
  };
  std::vector<std::unique_ptr<Runner>> runners;
  std::vector<Runner*> all;
  for (const SignalCase& c : cases) {
    runners.push_back(
        std::make_unique<Runner>(Args(c.test, {c.test}), Cue{"Открыл", c.delay, c.signal, false}));
    all.push_back(runners.back().get());
  }
  RunAll(all, std::chrono::seconds(30));

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const SignalCase& c = cases[i];
    const Runner& run = *runners[i];
    SCOPED_TRACE(c.test);
    ASSERT_TRUE(run.Finished()) << run.out << run.err;
    // The log reaches the pipe line by line, not when a buffer fills.
    ASSERT_TRUE(run.Signalled());
    EXPECT_LT(run.CueTime(), milliseconds(2000));
    EXPECT_EQ(run.ExitStatus(), c.status) << run.err;
    const std::vector<std::string> log = Lines(run.out);
    ASSERT_GE(log.size(), c.closing.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - c.closing.size(), log.end()), c.closing);
    EXPECT_EQ(StatusLines(run.err), c.cells);
    // Nothing of the run is left behind the abort.
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) { return l.starts_with(">>>>>"); }),
              1);
    // The abort is seen at the next pass of a loop, and the units finish
    // what they were doing within a second or so; the two tests that cannot
    // be aborted end when they are done, a few seconds at most.
    EXPECT_LT(run.StopTime(), milliseconds(5000));
  }
}

TEST_F(CliSignals, ASignalWhileTheOperatorIsAskedPressesAbortAtOnce) {
  struct AskCase {
    std::string test;
    std::string prompt;  // on stderr once the run waits for the operator
    int signal;
    std::string cell;
    std::vector<std::string> closing;
  };
  const std::string kEnter = "Нажмите Enter, чтобы продолжить. ";
  const std::vector<AskCase> cases = {
      // A question, in the test that asks first and in the one that asks
      // with the buzzer sounding.
      {"indic", "Да/Нет? ", SIGINT, "STIndic: Прервано", {kClosedUnderTest, ""}},
      {"sound", "Да/Нет? ", SIGTERM, "STSound: Прервано", {kClosedUnderTest, ""}},
      // A notice.
      {"line", kEnter, SIGTERM, "STTestLine: Прервано", {kClosedUnderTest, ""}},
      {"tr", kEnter, SIGINT, "STTestTR: Прервано", {kClosedUnderTest, kClosedReference, ""}},
  };
  std::vector<std::unique_ptr<Runner>> runners;
  std::vector<Runner*> all;
  for (const AskCase& c : cases) {
    runners.push_back(std::make_unique<Runner>(Args(c.test, {"--answer", "ask", c.test}),
                                               Cue{c.prompt, milliseconds(200), c.signal, false},
                                               Streams::Silent()));
    all.push_back(runners.back().get());
  }
  RunAll(all, std::chrono::seconds(20));

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const AskCase& c = cases[i];
    const Runner& run = *runners[i];
    SCOPED_TRACE(c.test);
    ASSERT_TRUE(run.Signalled()) << run.err;
    // Nobody pressed Enter: the signal alone ended the wait.
    ASSERT_TRUE(run.Finished()) << run.err;
    EXPECT_LT(run.StopTime(), milliseconds(5000));
    EXPECT_EQ(run.ExitStatus(), 2) << run.err;
    EXPECT_EQ(StatusLines(run.err), std::vector<std::string>{c.cell});
    // The question went unanswered: neither "no" nor "yes".
    EXPECT_EQ(run.err.find("Ответ:"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.prompt + "\nПрервано\n"), std::string::npos) << run.err;
    const std::vector<std::string> log = Lines(run.out);
    ASSERT_GE(log.size(), c.closing.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - c.closing.size(), log.end()), c.closing);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) { return l.starts_with(">>>>>"); }),
              1);
  }
}

std::uint32_t U32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

// Moves every packet from the `transfer`th feature transfer on a day later, as
// a clock set forward while recording would: the replay then has to wait a
// day before that transfer.
void JumpADayAhead(const std::string& path, std::size_t transfer) {
  trace::TraceReader reader = trace::TraceReader::FromFile(path);
  trace::Trace read;
  ASSERT_TRUE(ReadTrace(reader, read)) << reader.error();
  std::uint64_t from = 0;
  std::size_t seen = 0;
  for (const trace::TraceEvent& event : read.events) {
    const auto* t = std::get_if<trace::TransferRecord>(&event);
    if (t != nullptr && ++seen == transfer) {
      from = t->frame;
      break;
    }
  }
  ASSERT_NE(from, 0u);
  std::string bytes = testing::ReadFile(path);
  constexpr std::uint64_t kDayUs = 86'400'000'000;
  std::uint64_t frame = 0;
  for (std::size_t at = 0; at + 12 <= bytes.size(); at += U32(bytes, at + 4)) {
    if (U32(bytes, at) != 6 || ++frame < from)
      continue;
    std::uint64_t ticks = std::uint64_t{U32(bytes, at + 12)} << 32 | U32(bytes, at + 16);
    ticks += kDayUs;
    for (int i = 0; i < 4; ++i) {
      bytes[at + 12 + i] = static_cast<char>(ticks >> (32 + 8 * i));
      bytes[at + 16 + i] = static_cast<char>(ticks >> (8 * i));
    }
  }
  testing::WriteFile(path, bytes);
}

TEST_F(CliSignals, ASignalEndsAReplayOnTheRealClockAtOnceAsAnInterruptedRun) {
  const std::string trace = dir.File("func.pcapng");
  Runner record(Args("record", {"--virtual-time", "--trace", trace, "func"}), Cue{});
  RunAll({&record}, std::chrono::seconds(30));
  ASSERT_TRUE(record.Finished());
  ASSERT_EQ(record.ExitStatus(), 0) << record.err;
  const std::string jumped = dir.File("jumped.pcapng");
  testing::WriteFile(jumped, testing::ReadFile(trace));
  JumpADayAhead(jumped, 5);
  if (HasFatalFailure())
    return;

  struct ReplayCase {
    std::string name;
    std::string trace;
    Cue cue;
  };
  const std::vector<ReplayCase> cases = {
      // In the day-long wait before the fifth transfer.
      {"jumped", jumped, Cue{"", milliseconds(1500), SIGINT, false}},
      // Amid the test, where the recorded run had no Abort.
      {"amid", trace, Cue{"Открыл", milliseconds(300), SIGTERM, false}},
  };
  std::vector<std::unique_ptr<Runner>> runners;
  std::vector<Runner*> all;
  for (const ReplayCase& c : cases) {
    runners.push_back(std::make_unique<Runner>(
        Args(c.name, {"--sim", "replay ut " + c.trace, "--sim", "replay ref " + c.trace, "func"}),
        c.cue));
    all.push_back(runners.back().get());
  }
  RunAll(all, std::chrono::seconds(30));

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Runner& run = *runners[i];
    SCOPED_TRACE(cases[i].name);
    EXPECT_TRUE(run.Signalled()) << run.err;
    EXPECT_TRUE(run.Finished()) << run.out << run.err;
    if (!run.Signalled() || !run.Finished())
      continue;
    EXPECT_LT(run.StopTime(), milliseconds(5000));
    EXPECT_EQ(run.ExitStatus(), 2) << run.err;
    EXPECT_EQ(StatusLines(run.err), std::vector<std::string>{"STFunc: Прервано"});
    EXPECT_EQ(run.err.find("расходится"), std::string::npos) << run.err;
    const std::vector<std::string> log = Lines(run.out);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], kClosedUnderTest);
  }
}

// The message a run ends with when its log did not reach stdout whole.
std::string LostLog(const std::string& why) {
  return "vr512b-diag-cli: протокол проверки не записан в стандартный вывод: " + why + "\n";
}

TEST_F(CliSignals, AStdoutThatIsClosedOrFullNeitherHangsNorStopsTheRunButIsReported) {
  // The reader goes away in the middle of a test that then runs to its end.
  Runner readerLeaves(Args("indic", {"indic"}), Cue{"Открыл", milliseconds(0), 0, true});
  // The reader goes away, then the run is interrupted.
  Runner readerLeavesThenAbort(Args("tr", {"tr"}), Cue{"Открыл", milliseconds(0), 0, true});
  // No stdout from the start, on the real clock: interrupted half a second in,
  // once it handles SIGTERM (a start under the sanitizers may take longer).
  Runner noStdoutMonitor(Args("monitor", {"monitor"}), Cue{}, Streams::StdoutClosed());
  // No stdout from the start, as fast as the CPU allows.
  Runner noStdoutFast(Args("func", {"--virtual-time", "func", "indic"}), Cue{},
                      Streams::StdoutClosed());
  // A stdout that is full from the first line.
  Runner fullStdout(Args("full", {"--virtual-time", "func"}), Cue{},
                    Streams::StdoutTo("/dev/full"));

  // The tr run gets its signal once its stdout is gone.
  bool trSignalled = false;
  bool monitorSignalled = false;
  const SteadyClock::time_point start = SteadyClock::now();
  std::optional<std::string> monitorStdout;
  RunAll({&readerLeaves, &readerLeavesThenAbort, &noStdoutMonitor, &noStdoutFast, &fullStdout},
         std::chrono::seconds(30), [&] {
           const SteadyClock::time_point now = SteadyClock::now();
           if (!trSignalled && !readerLeavesThenAbort.Finished() &&
               now - start > milliseconds(400) &&
               readerLeavesThenAbort.out.find("Открыл") != std::string::npos) {
             ::kill(readerLeavesThenAbort.pid(), SIGINT);
             trSignalled = true;
           }
           // While the monitor runs, its stdout is /dev/null and not whatever
           // file it opened next. Looked at again until the process (slow to
           // start under the sanitizers) has a descriptor 1 at all.
           if (!monitorStdout && now - start > milliseconds(250) && !noStdoutMonitor.Finished()) {
             char target[256] = {};
             const std::string link = "/proc/" + std::to_string(noStdoutMonitor.pid()) + "/fd/1";
             const ssize_t size = ::readlink(link.c_str(), target, sizeof target - 1);
             if (size > 0)
               monitorStdout = std::string(target, static_cast<std::size_t>(size));
           }
           if (!monitorSignalled && now - start > milliseconds(500) &&
               !noStdoutMonitor.Finished() && CatchesSignal(noStdoutMonitor.pid(), SIGTERM)) {
             ::kill(noStdoutMonitor.pid(), SIGTERM);
             monitorSignalled = true;
           }
         });

  // Each runs to its verdicts, and then says that the log was lost, with the
  // status of its own that outranks them.
  ASSERT_TRUE(readerLeaves.Finished());
  EXPECT_EQ(readerLeaves.ExitStatus(), 4) << readerLeaves.err;
  EXPECT_EQ(StatusLines(readerLeaves.err), std::vector<std::string>{"STIndic: OK"});
  // Questions go on on stderr after stdout has gone.
  EXPECT_NE(readerLeaves.err.find("Ответ: Да"), std::string::npos);
  EXPECT_TRUE(readerLeaves.err.ends_with(LostLog("Broken pipe"))) << readerLeaves.err;

  ASSERT_TRUE(readerLeavesThenAbort.Finished());
  EXPECT_EQ(readerLeavesThenAbort.ExitStatus(), 4) << readerLeavesThenAbort.err;
  EXPECT_EQ(StatusLines(readerLeavesThenAbort.err), std::vector<std::string>{"STTestTR: Прервано"});
  EXPECT_TRUE(readerLeavesThenAbort.err.ends_with(LostLog("Broken pipe")));

  ASSERT_TRUE(noStdoutMonitor.Finished());
  EXPECT_EQ(noStdoutMonitor.ExitStatus(), 4) << noStdoutMonitor.err;
  EXPECT_EQ(StatusLines(noStdoutMonitor.err), std::vector<std::string>{});
  EXPECT_EQ(monitorStdout, std::optional<std::string>("/dev/null"));
  EXPECT_TRUE(noStdoutMonitor.err.ends_with(LostLog("стандартный вывод закрыт")));

  ASSERT_TRUE(fullStdout.Finished());
  EXPECT_EQ(fullStdout.ExitStatus(), 4) << fullStdout.err;
  EXPECT_EQ(StatusLines(fullStdout.err), std::vector<std::string>{"STFunc: OK"});
  EXPECT_TRUE(fullStdout.err.ends_with(LostLog("No space left on device"))) << fullStdout.err;

  ASSERT_TRUE(noStdoutFast.Finished());
  EXPECT_EQ(noStdoutFast.ExitStatus(), 4) << noStdoutFast.err;
  EXPECT_EQ(StatusLines(noStdoutFast.err), (std::vector<std::string>{"STFunc: OK", "STIndic: OK"}));
  EXPECT_TRUE(noStdoutFast.err.ends_with(LostLog("стандартный вывод закрыт")));
  // The log went nowhere, least of all into the settings file.
  const std::string settings = testing::ReadFile(dir.File("func.reg"));
  EXPECT_EQ(settings.find("Открыл"), std::string::npos);
  EXPECT_NE(settings.find("\"NameVR512BSample\"=\"10001\""), std::string::npos);
}

TEST_F(CliSignals, AFileSizeLimitFailsAWriteLikeAFullDiskInsteadOfKillingTheRun) {
  constexpr rlim_t kLimit = 2048;  // above the parameters file, below all else
  struct LimitCase {
    std::string name;
    std::vector<std::string> args;
    bool logToFile;
    int status;
    std::string said;  // on stderr
  };
  const std::string report = dir.File("record.json");
  const std::string trace = dir.File("run.pcapng");
  const std::vector<LimitCase> cases = {
      {"log", {}, true, 4, LostLog("File too large")},
      {"record",
       {"--report", report},
       false,
       4,
       "vr512b-diag-cli: --report " + report + ": протокол запуска не записан: File too large\n"},
      {"trace",
       {"--trace", trace},
       false,
       4,
       "vr512b-diag-cli: --trace " + trace + ": запись обмена прервана: Трасса " + trace +
           ": не могу записать файл: File too large\n"},
      // A history that cannot grow costs the run's entry, not the run.
      {"history", {"--history", dir.File("history.sqlite")}, false, 0, "; запуск не записан\n"},
  };
  std::vector<std::unique_ptr<Runner>> runners;
  std::vector<Runner*> all;
  for (const LimitCase& c : cases) {
    Streams streams;
    streams.fileSizeLimit = kLimit;
    if (c.logToFile) {
      streams.stdoutFile = dir.File(c.name + ".log");
      testing::WriteFile(streams.stdoutFile, "");
    }
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--virtual-time", "func"});
    runners.push_back(std::make_unique<Runner>(Args(c.name, args), Cue{}, streams));
    all.push_back(runners.back().get());
  }
  RunAll(all, std::chrono::seconds(30));

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const LimitCase& c = cases[i];
    const Runner& run = *runners[i];
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(run.Finished()) << run.err;
    EXPECT_EQ(run.TermSignal(), 0);
    EXPECT_EQ(run.ExitStatus(), c.status) << run.err;
    // The run went on to its verdict.
    EXPECT_NE(run.err.find("STFunc: OK\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    if (c.logToFile)
      EXPECT_EQ(testing::ReadFile(dir.File(c.name + ".log")).size(), kLimit);
    else
      EXPECT_TRUE(run.out.ends_with(std::string(kClosedUnderTest) + "\n\n")) << run.out;
  }
}

}  // namespace
}  // namespace vr512b

#endif  // _WIN32
