// The recorder in front of a HID library: what it writes of each transfer and
// unit, and that the console sees the library's answers and errors as if it
// were not there, even when the trace fails to be written.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>

#include "autotests/support/fake_hid.h"
#include "autotests/support/test_support.h"
#include "device/system_error.h"
#include "trace/console_marks.h"
#include "trace/recording_hid.h"
#include "trace/trace_reader.h"

namespace vr512b {
namespace {

using testing::FakeHid;

class Recording : public ::testing::Test {
 protected:
  Recording() {
    hid.AddDevice({"unit", {kUnitVendorId, kUnitProductId, 0x0A03}, u"12345"});
    recorder.SetRoleSource([this](HidHandle handle) -> std::optional<trace::Role> {
      if (handle == slot)
        return trace::Role::Reference;
      return std::nullopt;
    });
  }
  // Opens the unit as the device link does: found, then put in its slot and
  // asked again who it is.
  void OpenUnit() {
    slot = recorder.Open("unit");
    HidAttributes attributes;
    char16_t serial[32] = {};
    ASSERT_TRUE(recorder.GetAttributes(slot, attributes));
    ASSERT_TRUE(recorder.GetSerialNumberString(slot, serial, sizeof serial));
  }
  std::uint8_t Get(std::uint8_t reportId = kReportShort, std::size_t length = kShortReportLength) {
    std::vector<std::uint8_t> report(length, 0);
    report[0] = reportId;
    moved = recorder.GetFeature(slot, report.data(), report.size());
    return report[0];
  }
  void Set() {
    const std::uint8_t command[kShortReportLength] = {kReportShort, OpAckEvent, 0, 0, 0, 0, 0};
    moved = recorder.SetFeature(slot, command, sizeof command);
  }
  trace::Trace Read(bool whole = true) {
    trace::TraceReader reader = trace::TraceReader::FromFile(path);
    trace::Trace read;
    EXPECT_EQ(ReadTrace(reader, read), whole) << reader.error();
    return read;
  }
  std::vector<trace::TransferRecord> Transfers(const trace::Trace& read) {
    std::vector<trace::TransferRecord> transfers;
    for (const trace::TraceEvent& event : read.events) {
      if (const auto* t = std::get_if<trace::TransferRecord>(&event))
        transfers.push_back(*t);
    }
    return transfers;
  }

  testing::TempDir dir;
  std::string path = dir.File("trace.pcapng");
  VirtualClock clock;
  FakeHid hid{clock};
  trace::RecordingHid recorder{hid, clock};
  HidHandle slot = kInvalidHandle;
  FeatureBytes moved{std::size_t{0}};
};

TEST_F(Recording, EachTransferWithItsBytesItsErrorAndItsTimes) {
  ASSERT_EQ(recorder.Start(path, "test 1"), "");
  OpenUnit();
  hid.QueueGet(kReportShort, {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
  clock.Advance(40);
  EXPECT_EQ(Get(), 0x00);  // the unit's block comes back from byte 0
  hid.FailTransfer(1);
  EXPECT_EQ(Get(), kReportShort);
  EXPECT_FALSE(moved);
  hid.ShortenTransfer(2, 3);
  Get(kReportConfig, kConfigReportLength);
  EXPECT_EQ(moved, 3u);
  const std::uint8_t command[kShortReportLength] = {kReportShort, OpAckReply, 0, 0, 0, 0, 0};
  hid.ShortenTransfer(3, 4);
  EXPECT_EQ(recorder.SetFeature(slot, command, sizeof command), 4u);
  EXPECT_EQ(recorder.SetFeature(slot, command, sizeof command), kShortReportLength);
  recorder.Close(slot);
  ASSERT_EQ(recorder.Stop(), "");

  const trace::Trace read = Read();
  ASSERT_EQ(read.units.size(), 1u);
  EXPECT_EQ(read.units[0].identity, (trace::UnitIdentity{trace::Role::Reference, u"12345",
                                                         kUnitVendorId, kUnitProductId, 0x0A03}));
  const auto transfers = Transfers(read);
  ASSERT_EQ(transfers.size(), 5u);
  EXPECT_EQ(transfers[0].bytes, (std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(transfers[0].error, 0u);
  EXPECT_EQ(transfers[0].beganMs, 40);
  EXPECT_EQ(transfers[1].error, static_cast<std::uint32_t>(EIO));
  EXPECT_TRUE(transfers[1].bytes.empty());
  EXPECT_EQ(transfers[2].reportId, kReportConfig);
  EXPECT_EQ(transfers[2].length, kConfigReportLength);
  EXPECT_EQ(transfers[2].bytes.size(), 3u) << "a short read keeps its count";
  // A write cut short has no count in a trace: it is the failure the report
  // layer makes of it.
  EXPECT_EQ(transfers[3].kind, trace::TransferKind::Set);
  EXPECT_EQ(transfers[3].error, SystemErrorCode(SystemError::ShortTransfer));
  EXPECT_EQ(transfers[4].error, 0u);
  EXPECT_EQ(transfers[4].bytes, std::vector<std::uint8_t>(command, command + sizeof command));
}

TEST_F(Recording, AUnitIsNamedOnceItIsInARoleSlotAndMarkedAtEachOpen) {
  ASSERT_EQ(recorder.Start(path, "test 1"), "");
  // Found but not taken: the search opens every unit and asks who it is.
  const HidHandle candidate = recorder.Open("unit");
  HidAttributes attributes;
  char16_t serial[32] = {};
  ASSERT_TRUE(recorder.GetAttributes(candidate, attributes));
  ASSERT_TRUE(recorder.GetSerialNumberString(candidate, serial, sizeof serial));
  recorder.Close(candidate);
  for (int open = 0; open < 2; ++open) {
    OpenUnit();
    Get();
    recorder.Close(slot);
  }
  ASSERT_EQ(recorder.Stop(), "");
  const trace::Trace read = Read();
  ASSERT_EQ(read.units.size(), 1u) << "the same unit twice keeps its number";
  int opened = 0;
  for (const trace::TraceEvent& event : read.events) {
    if (const auto* mark = std::get_if<trace::MarkRecord>(&event)) {
      const auto parsed = trace::ParseMark(mark->text);
      ASSERT_TRUE(parsed) << mark->text;
      EXPECT_EQ(parsed->kind, trace::ConsoleMark::Kind::UnitOpened);
      EXPECT_EQ(parsed->role, trace::Role::Reference);
      EXPECT_EQ(parsed->unit, 0u);
      ++opened;
    }
  }
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(Transfers(read).size(), 2u);
}

TEST_F(Recording, NothingIsWrittenWhenNotRecording) {
  OpenUnit();
  Get();
  EXPECT_FALSE(recorder.Recording());
  EXPECT_FALSE(std::filesystem::exists(path));
  ASSERT_EQ(recorder.Start(path, "test 1"), "");
  Get();
  ASSERT_EQ(recorder.Stop(), "");
  // The unit was opened before the recording began: it is named at once.
  EXPECT_EQ(Read().units.size(), 1u);
  Get();
  EXPECT_EQ(Transfers(Read()).size(), 1u);
}

std::uintmax_t FileSize(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<std::uintmax_t>(info.st_size) : 0;
}

TEST_F(Recording, AFailedTransferKeepsItsErrorWhenTheTraceFailsToBeWrittenAtIt) {
  ASSERT_EQ(recorder.Start(path, "test 1"), "");
  OpenUnit();
  // The recorder writes the file once it holds 64 KiB: count the transfers
  // from one write to the next. A failed write takes as much room in the
  // trace as one that succeeds.
  std::uintmax_t size = FileSize(path);
  int sinceWrite = 0;
  int period = 0;
  for (int writes = 0; writes < 2; ++sinceWrite) {
    Set();
    if (FileSize(path) != size) {
      size = FileSize(path);
      period = sinceWrite + 1;
      sinceWrite = -1;
      ++writes;
    }
  }
  ASSERT_GT(period, 100);
  for (int i = 0; i < period - 1; ++i)
    Set();
  ASSERT_EQ(FileSize(path), size);

  // The next transfer fails, and so does the file write it brings on.
  hid.FailTransfer(static_cast<int>(hid.transfers.size()));
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = size + 1;
  setrlimit(RLIMIT_FSIZE, &limited);
  Set();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  ASSERT_FALSE(moved);
  EXPECT_EQ(moved.reason().code, static_cast<std::uint32_t>(EIO))
      << "the console words its error line from this";
  EXPECT_FALSE(recorder.Recording());
  const std::optional<std::string> failure = recorder.TakeFailure();
  ASSERT_TRUE(failure);
  EXPECT_EQ(*failure, "Трасса " + path + ": не могу записать файл: File too large");
  EXPECT_EQ(recorder.TakeFailure(), std::nullopt) << "told once";
  // The console goes on without the recorder.
  hid.QueueGet(kReportShort, {0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00});
  Get();
  EXPECT_TRUE(moved);
}

}  // namespace
}  // namespace vr512b
