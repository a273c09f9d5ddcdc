#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "autotests/support/test_support.h"
#include "autotests/trace/sample_trace.h"
#include "trace/trace_reader.h"
#include "trace/trace_writer.h"

namespace vr512b {
namespace {

using testing::SampleTrace;
using testing::TempDir;
using trace::TraceFault;
using Bytes = std::vector<std::uint8_t>;

struct Outcome {
  trace::Trace trace;
  TraceFault fault;
  std::string error;
};

Outcome Read(const std::string& path) {
  trace::TraceReader reader = trace::TraceReader::FromFile(path);
  Outcome outcome;
  static_cast<void>(ReadTrace(reader, outcome.trace));
  outcome.fault = reader.fault();
  outcome.error = reader.error();
  return outcome;
}

// A trace that must read without a fault.
trace::Trace ReadAll(const std::string& path) {
  Outcome outcome = Read(path);
  EXPECT_EQ(outcome.fault, TraceFault::None) << outcome.error;
  return std::move(outcome.trace);
}

std::string Kinds(const trace::Trace& read) {
  std::string kinds;
  for (const trace::TraceEvent& event : read.events)
    kinds += "UTM"[event.index()];
  return kinds;
}

trace::Transfer StatusRead(trace::UnitId unit, std::span<const std::uint8_t> bytes,
                           std::int64_t ms) {
  trace::Transfer t;
  t.unit = unit;
  t.kind = trace::TransferKind::Get;
  t.reportId = 1;
  t.length = 7;
  t.bytes = bytes;
  t.beganMs = ms;
  t.endedMs = ms + 1;
  return t;
}

TEST(TraceRoundTrip, GivesBackEveryUnitTransferAndMarkInOrder) {
  TempDir dir;
  const SampleTrace sample = testing::MakeSampleTrace();
  testing::WriteSampleTrace(sample, dir.File("t.pcapng"));
  const trace::Trace read = ReadAll(dir.File("t.pcapng"));

  EXPECT_EQ(Kinds(read), sample.order);
  EXPECT_EQ(read.info.application, "vr512b-diag 2.0.0.3");
#ifdef _WIN32
  EXPECT_EQ(read.info.system, "Windows");
#else
  EXPECT_EQ(read.info.system, "Linux");
#endif
  ASSERT_EQ(read.units.size(), 2u);
  EXPECT_EQ(read.units[0].id, 0u);
  EXPECT_EQ(read.units[0].identity, sample.underTest);
  EXPECT_EQ(read.units[1].id, 1u);
  EXPECT_EQ(read.units[1].identity, sample.reference);

  std::size_t transfer = 0;
  std::size_t mark = 0;
  std::uint64_t lastFrame = 0;
  for (const trace::TraceEvent& event : read.events) {
    if (const auto* t = std::get_if<trace::TransferRecord>(&event)) {
      ASSERT_LT(transfer, sample.transfers.size());
      const SampleTrace::Step& want = sample.transfers[transfer++];
      SCOPED_TRACE("transfer " + std::to_string(transfer));
      EXPECT_EQ(t->unit, want.unit);
      EXPECT_EQ(t->kind, want.kind);
      EXPECT_EQ(t->reportId, want.reportId);
      EXPECT_EQ(t->length, want.length);
      EXPECT_EQ(t->bytes, want.bytes);
      EXPECT_EQ(t->error, want.error);
      EXPECT_EQ(t->beganMs, want.beganMs);
      EXPECT_EQ(t->endedMs, want.endedMs);
      EXPECT_GT(t->frame, lastFrame);
      lastFrame = t->frame;
    } else if (const auto* m = std::get_if<trace::MarkRecord>(&event)) {
      ASSERT_LT(mark, sample.marks.size());
      EXPECT_EQ(m->text, sample.marks[mark].text);
      EXPECT_EQ(m->timeMs, sample.marks[mark].timeMs);
      EXPECT_GT(m->frame, lastFrame);
      lastFrame = m->frame;
      ++mark;
    }
  }
  EXPECT_EQ(transfer, sample.transfers.size());
  EXPECT_EQ(mark, sample.marks.size());
}

TEST(TraceRoundTrip, ErrorCodesOfEveryWidthComeBackAsTheyWere) {
  TempDir dir;
  trace::TraceWriter writer;
  ASSERT_TRUE(writer.Open(dir.File("t.pcapng"), "test"));
  const auto unit = writer.AddUnit({trace::Role::Reference, u"5", 0x8002, 0x4002, 1}, 0);
  ASSERT_TRUE(unit);
  // errno values, a Windows code, and codes that do not fit a negated int32.
  const std::vector<std::uint32_t> codes = {0,    1,          5,           32,
                                            1167, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};
  for (std::uint32_t code : codes) {
    trace::Transfer t = StatusRead(*unit, {}, 10);
    t.error = code;
    ASSERT_TRUE(writer.Write(t)) << writer.error();
  }
  ASSERT_TRUE(writer.Close()) << writer.error();
  const trace::Trace read = ReadAll(dir.File("t.pcapng"));
  std::vector<std::uint32_t> got;
  for (const trace::TraceEvent& event : read.events)
    if (const auto* t = std::get_if<trace::TransferRecord>(&event))
      got.push_back(t->error);
  EXPECT_EQ(got, codes);
}

TEST(TraceRoundTrip, ATraceLongerThanTheWriteBufferKeepsEveryTransfer) {
  TempDir dir;
  trace::TraceWriter writer;
  ASSERT_TRUE(writer.Open(dir.File("t.pcapng"), "test"));
  const auto unit = writer.AddUnit({trace::Role::UnderTest, u"1", 0x8002, 0x4002, 1}, 0);
  ASSERT_TRUE(unit);
  constexpr int kCount = 5000;  // about a megabyte
  for (int i = 0; i < kCount; ++i) {
    const Bytes status = {
        0, 0, 0, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8), 0x80, 0xEE};
    ASSERT_TRUE(writer.Write(StatusRead(*unit, status, i))) << writer.error();
  }
  ASSERT_TRUE(writer.Close()) << writer.error();
  const trace::Trace read = ReadAll(dir.File("t.pcapng"));
  ASSERT_EQ(read.events.size(), kCount + 1u);
  for (int i = 0; i < kCount; ++i) {
    const auto& t = std::get<trace::TransferRecord>(read.events[i + 1]);
    ASSERT_EQ(t.bytes[3] | (t.bytes[4] << 8), i & 0xFFFF);
    ASSERT_EQ(t.beganMs, i);
  }
}

TEST(TraceRoundTrip, FlushedTransfersSurviveAConsoleThatNeverClosedTheTrace) {
  TempDir dir;
  const std::string path = dir.File("t.pcapng");
  trace::TraceWriter writer;
  ASSERT_TRUE(writer.Open(path, "test"));
  const auto unit = writer.AddUnit({trace::Role::UnderTest, u"1", 0x8002, 0x4002, 1}, 0);
  const Bytes status = {0, 0, 0, 1, 2, 3, 4};
  ASSERT_TRUE(writer.Write(StatusRead(*unit, status, 5)));
  ASSERT_TRUE(writer.Flush()) << writer.error();

  // Read while the writer is still open, as after a crash.
  const Outcome read = Read(path);
  EXPECT_EQ(Kinds(read.trace), "UT");
  EXPECT_EQ(read.fault, TraceFault::Truncated);
  EXPECT_NE(read.error.find("нет отметки конца записи"), std::string::npos) << read.error;
  ASSERT_TRUE(writer.Close());
}

TEST(TraceRoundTrip, WrittenOutEverySecondATraceLagsItsTransfersByASecondAtMost) {
  TempDir dir;
  // As on the real clock, and as on the virtual one: only every 64 KiB.
  trace::TraceWriter timed;
  trace::TraceWriter buffered;
  ASSERT_TRUE(timed.Open(dir.File("timed.pcapng"), "test"));
  ASSERT_TRUE(buffered.Open(dir.File("buffered.pcapng"), "test"));
  // In thousands of seconds, so that the writer's own thread never comes
  // before the transfers do.
  constexpr std::int64_t kS = 1'000'000;
  timed.WriteOutEvery(kS);
  const trace::UnitIdentity identity{trace::Role::UnderTest, u"1", 0x8002, 0x4002, 1};
  const auto unit = timed.AddUnit(identity, 0);
  ASSERT_TRUE(unit && buffered.AddUnit(identity, 0));
  const Bytes status = {0, 0, 0, 1, 2, 3, 4};
  struct Step {
    std::int64_t ms;  // the transfer begins then and ends 1 ms later
    std::string onDisk;
  };
  for (const Step& step : {Step{0, ""}, Step{kS * 6 / 10, ""}, Step{kS - 1, "UTTT"},
                           Step{kS * 3 / 2, "UTTT"}, Step{kS * 2, "UTTTTT"}}) {
    SCOPED_TRACE(step.ms);
    ASSERT_TRUE(timed.Write(StatusRead(*unit, status, step.ms)));
    ASSERT_TRUE(buffered.Write(StatusRead(*unit, status, step.ms)));
    EXPECT_EQ(Kinds(Read(dir.File("timed.pcapng")).trace), step.onDisk);
    EXPECT_EQ(Kinds(Read(dir.File("buffered.pcapng")).trace), "");
  }
  ASSERT_TRUE(timed.Close() && buffered.Close());
  EXPECT_EQ(Kinds(ReadAll(dir.File("timed.pcapng"))), "UTTTTT");
  EXPECT_EQ(Kinds(ReadAll(dir.File("buffered.pcapng"))), "UTTTTT");
}

TEST(TraceRoundTrip, WrittenOutEverySecondATransferReachesTheFileWhenNoneFollows) {
  TempDir dir;
  const std::string path = dir.File("t.pcapng");
  trace::TraceWriter writer;
  ASSERT_TRUE(writer.Open(path, "test"));
  writer.WriteOutEvery(50);
  const auto unit = writer.AddUnit({trace::Role::UnderTest, u"1", 0x8002, 0x4002, 1}, 0);
  const Bytes status = {0, 0, 0, 1, 2, 3, 4};
  ASSERT_TRUE(writer.Write(StatusRead(*unit, status, 0)));
  // Nothing more is written: the writer's own thread takes it to the file.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::string onDisk;
  while ((onDisk = Kinds(Read(path).trace)) != "UT" && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(onDisk, "UT");
  ASSERT_TRUE(writer.Close()) << writer.error();
  EXPECT_EQ(Kinds(ReadAll(path)), "UT");
}

TEST(TraceRoundTrip, AWriterLeftOpenIsClosedCompleteByItsDestructor) {
  TempDir dir;
  {
    trace::TraceWriter writer;
    ASSERT_TRUE(writer.Open(dir.File("t.pcapng"), "test"));
    ASSERT_TRUE(writer.Mark("only", 3));
  }
  const trace::Trace read = ReadAll(dir.File("t.pcapng"));
  EXPECT_EQ(Kinds(read), "M");
}

class TraceWriterFault : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(writer.Open(path, "test"));
    auto added = writer.AddUnit({trace::Role::UnderTest, u"1", 0x8002, 0x4002, 1}, 0);
    ASSERT_TRUE(added);
    unit = *added;
    ASSERT_TRUE(writer.Write(StatusRead(unit, status, 1)));
  }
  // After the first fault nothing more is written, Close() reports the fault,
  // and the file keeps what came before, without its end mark.
  void ExpectStoppedWith(const std::string& words) {
    EXPECT_NE(writer.error().find(words), std::string::npos) << writer.error();
    EXPECT_FALSE(writer.Write(StatusRead(unit, status, 2)));
    EXPECT_FALSE(writer.Mark("later", 3));
    EXPECT_FALSE(writer.Close());
    EXPECT_NE(writer.error().find(words), std::string::npos) << writer.error();
    const Outcome read = Read(path);
    EXPECT_EQ(Kinds(read.trace), "UT");
    EXPECT_EQ(read.fault, TraceFault::Truncated);
  }
  TempDir dir;
  std::string path = dir.File("t.pcapng");
  trace::TraceWriter writer;
  trace::UnitId unit = 0;
  Bytes status = {0, 0, 0, 1, 2, 3, 4};
};

TEST_F(TraceWriterFault, ATransferForAUnitNeverAdded) {
  EXPECT_FALSE(writer.Write(StatusRead(unit + 1, status, 2)));
  ExpectStoppedWith("УПО номер 1, которого нет в трассе");
}

TEST_F(TraceWriterFault, AReportWhoseBytesDisagreeWithItsLength) {
  trace::Transfer set = StatusRead(unit, status, 2);
  set.kind = trace::TransferKind::Set;
  set.length = 17;
  EXPECT_FALSE(writer.Write(set));
  ExpectStoppedWith("длиной 17 несёт 7 байт");
}

TEST_F(TraceWriterFault, AReadThatReturnedMoreThanItsBuffer) {
  trace::Transfer get = StatusRead(unit, status, 2);
  get.length = 6;
  EXPECT_FALSE(writer.Write(get));
  ExpectStoppedWith("длиной 6 несёт 7 байт");
}

TEST_F(TraceWriterFault, ATimeBeforeTheClocksStart) {
  EXPECT_FALSE(writer.Write(StatusRead(unit, status, -5)));
  ExpectStoppedWith("время -5 мс");
}

TEST_F(TraceWriterFault, ASerialNumberNoStringDescriptorCanHold) {
  EXPECT_FALSE(writer.AddUnit({trace::Role::Reference, std::u16string(127, u'7'), 1, 2, 3}, 2));
  ExpectStoppedWith("длиннее 126");
}

TEST_F(TraceWriterFault, AMarkLongerThanAnyTraceNeeds) {
  EXPECT_FALSE(writer.Mark(std::string(20000, 'x'), 2));
  ExpectStoppedWith("отметка длиннее");
}

TEST(TraceWriterFile, AFileNamedInCyrillicIsWrittenAndReadUnderThatName) {
  TempDir dir;
  const std::filesystem::path path = std::filesystem::path(dir.path()) / u8"обмен с УПО.pcapng";
  trace::TraceWriter writer;
  ASSERT_TRUE(writer.Open(path, "test")) << writer.error();
  ASSERT_TRUE(writer.Mark("Проверка", 1));
  ASSERT_TRUE(writer.Close()) << writer.error();
  ASSERT_TRUE(std::filesystem::exists(path));
  trace::TraceReader reader = trace::TraceReader::FromFile(path);
  trace::TraceEvent event;
  ASSERT_TRUE(reader.Next(event)) << reader.error();
  EXPECT_EQ(std::get<trace::MarkRecord>(event).text, "Проверка");
}

TEST(TraceWriterFile, AFileThatCannotBeCreatedIsReportedWithItsReason) {
  TempDir dir;
  const std::string path = dir.File("missing/t.pcapng");
  trace::TraceWriter writer;
  EXPECT_FALSE(writer.Open(path, "test"));
  EXPECT_NE(writer.error().find(path), std::string::npos) << writer.error();
  EXPECT_NE(writer.error().find(std::generic_category().message(ENOENT)), std::string::npos)
      << writer.error();
  EXPECT_FALSE(writer.AddUnit({}, 0));
  EXPECT_FALSE(writer.Close());
}

TEST(TraceWriterFile, AFullDiskIsReportedNeverSwallowed) {
#ifdef __linux__
  trace::TraceWriter writer;
  // The section header is written at once, so a full disk shows on opening.
  EXPECT_FALSE(writer.Open("/dev/full", "test"));
  EXPECT_NE(writer.error().find(std::generic_category().message(ENOSPC)), std::string::npos)
      << writer.error();
  EXPECT_FALSE(writer.Close());
#else
  GTEST_SKIP() << "needs /dev/full";
#endif
}

TEST(TraceReaderFile, AMissingFileIsAnInputFaultNamingTheFile) {
  TempDir dir;
  const std::string path = dir.File("none.pcapng");
  trace::TraceReader reader = trace::TraceReader::FromFile(path);
  trace::TraceEvent event;
  EXPECT_FALSE(reader.Next(event));
  EXPECT_EQ(reader.fault(), TraceFault::Io);
  EXPECT_NE(reader.error().find(path), std::string::npos) << reader.error();
  EXPECT_NE(reader.error().find(std::generic_category().message(ENOENT)), std::string::npos)
      << reader.error();
}

}  // namespace
}  // namespace vr512b
