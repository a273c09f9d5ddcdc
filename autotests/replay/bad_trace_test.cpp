// Traces that cannot be replayed, and traces that cannot be written: a clear
// message and exit status 3 before any test starts, never a crash; a trace
// that fails to be written half-way is said, and the tests go on unchanged.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "autotests/replay/replay_support.h"
#include "trace/trace_reader.h"
#include "trace/trace_writer.h"

namespace vr512b::replaytest {
namespace {

constexpr const char* kPrefix = "vr512b-diag-cli: --sim replay: ";

class BadTrace : public ::testing::Test {
 protected:
  RunOutput Replay(const std::string& trace, const std::string& test = "func") {
    return RunRunner(dir.File("replay.reg"),
                     {"--sim", "replay ut " + trace, "--sim", "replay ref " + trace, test});
  }
  // Exit status 3, nothing run, and the one line that says why.
  void ExpectRefused(const RunOutput& run, const std::string& why) {
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind(kPrefix, 0), 0u) << run.err;
    EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  }

  testing::TempDir dir;
};

TEST_F(BadTrace, ATraceCutShortAnywhereIsRefused) {
  const std::string trace = dir.File("whole.pcapng");
  ASSERT_EQ(RecordRun(dir.File("record.reg"), trace, {"func"}).run.status, 0);
  const std::string whole = testing::ReadFile(trace);
  const std::string cut = dir.File("cut.pcapng");
  for (std::size_t length = 1; length < whole.size(); length += 997) {
    SCOPED_TRACE("cut after " + std::to_string(length) + " bytes");
    testing::WriteFile(cut, whole.substr(0, length));
    const RunOutput run = Replay(cut);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind(std::string(kPrefix) + "Трасса " + cut + ": ", 0), 0u) << run.err;
  }
  // Cut at a block's end: the end mark is missing, as after a crash.
  const std::size_t endMark = whole.rfind(std::string("\x06\x00\x00\x00", 4));
  ASSERT_NE(endMark, std::string::npos);
  testing::WriteFile(cut, whole.substr(0, endMark));
  ExpectRefused(Replay(cut), "нет отметки конца записи");
}

TEST_F(BadTrace, AFileThatIsNoPcapngTraceIsRefused) {
  testing::WriteFile(dir.File("log.txt"), "Проверка функционирования\nOK\n");
  ExpectRefused(Replay(dir.File("log.txt")), "не файл pcapng");
  // A classic pcap file, as tcpdump writes one.
  testing::WriteFile(dir.File("classic.pcap"),
                     std::string("\xd4\xc3\xb2\xa1\x02\x00\x04\x00", 8) + std::string(16, '\0'));
  ExpectRefused(Replay(dir.File("classic.pcap")), "не файл pcapng");
  ExpectRefused(Replay(dir.File("missing.pcapng")), "не могу открыть файл");
  testing::WriteFile(dir.File("empty.pcapng"), "");
  ExpectRefused(Replay(dir.File("empty.pcapng")), "Трасса " + dir.File("empty.pcapng"));
}

TEST_F(BadTrace, ATraceOfAnotherDeviceIsRefused) {
  trace::TraceWriter writer;
  ASSERT_TRUE(writer.Open(dir.File("keyboard.pcapng"), "other"));
  trace::UnitIdentity keyboard{trace::Role::UnderTest, u"K1", 0x046D, 0xC31C, 0x6400};
  ASSERT_TRUE(writer.AddUnit(keyboard, 0));
  ASSERT_TRUE(writer.Close());
  ExpectRefused(Replay(dir.File("keyboard.pcapng")), "с другим устройством (VID 0x046D");
}

TEST_F(BadTrace, ATraceOfAnotherTestIsRefused) {
  const std::string trace = dir.File("func.pcapng");
  ASSERT_EQ(RecordRun(dir.File("record.reg"), trace, {"func"}).run.status, 0);
  ExpectRefused(Replay(trace, "indic"),
                "трасса " + trace + " записана при запуске «func», а запускается «indic»");
  ExpectRefused(Replay(trace, "all"), "а запускается «all»");
}

TEST_F(BadTrace, ATraceWithoutATestIsRefused) {
  trace::TraceWriter writer;
  ASSERT_TRUE(writer.Open(dir.File("idle.pcapng"), "vr512b-diag"));
  ASSERT_TRUE(writer.Close());
  ExpectRefused(Replay(dir.File("idle.pcapng")), "нет ни одного запуска теста");
}

TEST_F(BadTrace, BothUnitsReplayFromOneTrace) {
  const RunOutput run = RunRunner(dir.File("replay.reg"), {"--sim", "replay ut a.pcapng", "--sim",
                                                           "replay ref b.pcapng", "func"});
  EXPECT_EQ(run.status, 64);
  EXPECT_NE(run.err.find("обе роли - из одной трассы"), std::string::npos) << run.err;
}

TEST_F(BadTrace, ATraceThatCannotBeCreatedStopsTheRunBeforeItStarts) {
  const std::string trace = dir.File("no-such-folder/run.pcapng");
  const RunOutput run = RunRunner(dir.File("run.reg"), {"--trace", trace, "func"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "vr512b-diag-cli: --trace " + trace + ": Не могу создать файл трассы " +
                         trace + ": No such file or directory\n");
}

TEST_F(BadTrace, ATraceIsNeverRecordedOverTheOneBeingReplayed) {
  const std::string trace = dir.File("func.pcapng");
  ASSERT_EQ(RecordRun(dir.File("record.reg"), trace, {"func"}).run.status, 0);
  const std::string recorded = testing::ReadFile(trace);
  std::filesystem::create_hard_link(trace, dir.File("hard.pcapng"));
  std::filesystem::create_symlink(trace, dir.File("soft.pcapng"));
  // The file by its own name, by another spelling, by a hard and a symbolic link.
  for (const std::string& onto :
       {trace, dir.path() + "/./func.pcapng", dir.File("hard.pcapng"), dir.File("soft.pcapng")}) {
    SCOPED_TRACE(onto);
    const RunOutput run = RunRunner(
        dir.File("replay.reg"),
        {"--sim", "replay ut " + trace, "--sim", "replay ref " + trace, "--trace", onto, "func"});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(run.err, "vr512b-diag-cli: --trace " + onto + ": Трасса " + onto +
                           ": это воспроизводимая трасса " + trace +
                           ", запись обмена стёрла бы её\n");
    EXPECT_EQ(testing::ReadFile(trace), recorded);
  }
  // Another file is recorded as usual while the trace is replayed.
  const RunOutput other = RunRunner(dir.File("replay.reg"),
                                    {"--sim", "replay ut " + trace, "--sim", "replay ref " + trace,
                                     "--trace", dir.File("again.pcapng"), "func"});
  EXPECT_EQ(other.status, 0) << other.err;
}

TEST_F(BadTrace, ATraceChangedAfterItWasWrittenIsRefusedAsDamaged) {
  const std::string trace = dir.File("func.pcapng");
  const RecordedRun recorded = RecordRun(dir.File("record.reg"), trace, {"func"});
  ASSERT_EQ(recorded.run.status, 0) << recorded.run.err;
  trace::TraceReader reader = trace::TraceReader::FromFile(trace);
  trace::Trace read;
  ASSERT_TRUE(ReadTrace(reader, read)) << reader.error();
  // The frames of the last GET with data, of the last SET, and of the first mark.
  std::uint64_t get = 0, set = 0, mark = 0;
  for (const trace::TraceEvent& event : read.events) {
    if (const auto* t = std::get_if<trace::TransferRecord>(&event)) {
      if (t->kind == trace::TransferKind::Set)
        set = t->frame;
      else if (t->bytes.size() > 2)
        get = t->frame;
    } else if (const auto* m = std::get_if<trace::MarkRecord>(&event); m && mark == 0) {
      mark = m->frame;
    }
  }
  ASSERT_TRUE(get != 0 && set != 0 && mark != 0);
  const std::string whole = testing::ReadFile(trace);
  struct Edit {
    std::string what;
    std::uint64_t frame;
    std::size_t offset;
  };
  // What a GET returned (in its completion, the frame after the request),
  // what a SET sent, a mark's text.
  for (const Edit& edit :
       {Edit{"get", get + 1, 64 + 2}, Edit{"set", set, 64 + 2}, Edit{"mark", mark, 16 + 17}}) {
    SCOPED_TRACE(edit.what);
    testing::WriteFile(trace, whole);
    ASSERT_TRUE(FlipPacketByte(trace, edit.frame, edit.offset));
    ExpectRefused(Replay(trace), "трасса повреждена");
  }
  // A trace written before traces carried the digest replays as it did.
  testing::WriteFile(trace, whole);
  ASSERT_TRUE(DropDigest(trace));
  const RunOutput older = Replay(trace);
  EXPECT_EQ(older.status, 0) << older.err;
  EXPECT_EQ(Difference(older.out, recorded.run.out), "");
}

TEST_F(BadTrace, AOneRoleReplayIsRefusedForTestsThatUsedBothUnits) {
  const std::string all = dir.File("all.pcapng");
  ASSERT_EQ(RecordRun(dir.File("all.reg"), all, {"all"}).run.status, 0);
  const std::string func = dir.File("func.pcapng");
  const RecordedRun recorded = RecordRun(dir.File("func.reg"), func, {"func"});
  ASSERT_EQ(recorded.run.status, 0);
  const std::string both = "консоль работала с обоими УПО, а воспроизводится только ";
  // The data tests' units talk over the line: a live unit would never hear
  // the recorded one. Every test of Check all used the unit under test.
  ExpectRefused(RunRunner(dir.File("ut.reg"), {"--sim", "replay ut " + all, "all"}),
                "Трасса " + all + ": в тестах tr, rx, trmess, rxmess " + both +
                    "проверяемое УПО: эталонное УПО здесь живое");
  ExpectRefused(RunRunner(dir.File("ref.reg"), {"--sim", "replay ref " + all, "all"}),
                "Трасса " + all + ": в тестах func, indic, sound, tr, rx, line, trmess, rxmess " +
                    both + "эталонное УПО: проверяемое УПО здесь живое");
  // A test of one unit replays with that unit alone.
  const RunOutput alone = RunRunner(dir.File("alone.reg"), {"--sim", "replay ut " + func, "func"});
  EXPECT_EQ(alone.status, 0) << alone.err;
  EXPECT_EQ(Difference(alone.out, recorded.run.out), "");
}

// Files this process writes may grow to `bytes` and no further while it lasts.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = nullptr;
};

TEST_F(BadTrace, ATraceThatStopsBeingWrittenIsSaidAndTheTestsGoOnUnchanged) {
  const RunOutput plain =
      RunRunner(dir.File("plain.reg"), {"--sim", "unplug ut after 500", "func"});
  const std::string trace = dir.File("run.pcapng");
  RunOutput traced;
  {
    const FileSizeLimit limit(100000);
    traced = RunRunner(dir.File("traced.reg"),
                       {"--trace", trace, "--sim", "unplug ut after 500", "func"});
  }
  EXPECT_EQ(Difference(traced.out, plain.out), "");
  // The verdicts are those of the run without a trace; the exit status says
  // the trace asked for was lost.
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(traced.status, 4);
  const std::string said = "vr512b-diag-cli: --trace " + trace +
                           ": запись обмена прервана: Трасса " + trace +
                           ": не могу записать файл: File too large\n";
  EXPECT_EQ(traced.err, said + plain.err);

  // What reached the file reads as cut short.
  trace::TraceReader reader = trace::TraceReader::FromFile(trace);
  trace::Trace read;
  EXPECT_FALSE(ReadTrace(reader, read));
  EXPECT_EQ(reader.fault(), trace::TraceFault::Truncated) << reader.error();
  EXPECT_FALSE(read.events.empty());
}

}  // namespace
}  // namespace vr512b::replaytest
