// The traces as Wireshark sees them: Debian's tshark 4.0 reads the sample
// trace, and what it dissects is checked against what was written.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "autotests/support/child_process.h"
#include "autotests/support/test_support.h"
#include "autotests/trace/sample_trace.h"
#include "trace/trace_reader.h"

namespace vr512b {
namespace {

using testing::SampleTrace;
using Row = std::vector<std::string>;

std::string RunTool(const std::string& command) {
  const testing::RunResult run = testing::RunProcess({"/bin/sh", "-c", command});
  EXPECT_EQ(run.status, 0) << command << " failed; is " << VR512B_TSHARK << " installed?\n"
                           << run.err;
  return run.out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator))
    parts.push_back(part);
  return parts;
}

std::string Joined(const std::vector<std::string>& frames) {
  std::string list;
  for (const std::string& frame : frames)
    list += (list.empty() ? "" : ", ") + frame;
  return list;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char digits[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    text += digits;
  }
  return text;
}

class TsharkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sample = testing::MakeSampleTrace();
    testing::WriteSampleTrace(sample, path);
    trace::TraceReader reader = trace::TraceReader::FromFile(path);
    ASSERT_TRUE(ReadTrace(reader, read)) << reader.error();
    for (const trace::TraceEvent& event : read.events) {
      if (const auto* t = std::get_if<trace::TransferRecord>(&event))
        requestFrames.push_back(std::to_string(t->frame));
      if (const auto* m = std::get_if<trace::MarkRecord>(&event))
        markFrames.push_back(std::to_string(m->frame));
    }
  }

  std::vector<Row> Fields(const std::string& filter, const std::vector<std::string>& fields) {
    std::string command = std::string(VR512B_TSHARK) + " -r '" + path + "' -Y \"" + filter +
                          "\" -T fields -E occurrence=f";
    for (const std::string& field : fields)
      command += " -e " + field;
    std::vector<Row> rows;
    for (const std::string& line : Split(RunTool(command), '\n'))
      rows.push_back(Split(line, '\t'));
    return rows;
  }

  // The bytes after the usbmon header of each frame, from tshark's dumps of
  // them, in frame order.
  std::vector<std::vector<std::uint8_t>> FrameData(const std::vector<std::string>& frames) {
    const std::string dump = RunTool(std::string(VR512B_TSHARK) + " -r '" + path +
                                     "' -Y 'frame.number in {" + Joined(frames) + "}' -x");
    std::vector<std::vector<std::uint8_t>> data(1);
    for (const std::string& line : Split(dump, '\n')) {
      // "0040  10 11 12 ...   text": offset, two blanks, up to 16 bytes; an
      // empty line between frames.
      if (line.empty() && !data.back().empty())
        data.emplace_back();
      if (line.size() < 6 || line[4] != ' ' || line[5] != ' ')
        continue;
      for (std::size_t at = 6; at + 2 <= line.size() && line[at] != ' '; at += 3)
        data.back().push_back(
            static_cast<std::uint8_t>(std::stoul(line.substr(at, 2), nullptr, 16)));
    }
    if (data.back().empty())
      data.pop_back();
    for (auto& bytes : data)
      bytes.erase(bytes.begin(), bytes.begin() + std::min<std::size_t>(64, bytes.size()));
    return data;
  }

  testing::TempDir dir;
  std::string path = dir.File("trace.pcapng");
  SampleTrace sample;
  trace::Trace read;
  std::vector<std::string> requestFrames;
  std::vector<std::string> markFrames;
};

TEST_F(TsharkTest, OneFeatureReportFramePerTransferWithItsRequestAndReportId) {
  const auto rows = Fields("usbhid.setup.ReportType == 3",
                           {"frame.number", "usbhid.setup.bRequest", "usbhid.setup.ReportID",
                            "usbhid.setup.wIndex", "usbhid.setup.wLength", "frame.time_epoch"});
  ASSERT_EQ(rows.size(), sample.transfers.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const SampleTrace::Step& step = sample.transfers[i];
    SCOPED_TRACE("transfer " + std::to_string(i + 1));
    ASSERT_EQ(rows[i].size(), 6u);
    // The reader numbers frames as Wireshark does.
    EXPECT_EQ(rows[i][0], requestFrames[i]);
    EXPECT_EQ(rows[i][1], step.kind == trace::TransferKind::Set ? "0x09" : "0x01");
    EXPECT_EQ(rows[i][2], std::to_string(step.reportId));
    EXPECT_EQ(rows[i][3], "0");
    EXPECT_EQ(rows[i][4], std::to_string(step.length));
    EXPECT_EQ(std::llround(std::stod(rows[i][5]) * 1000), step.beganMs);
  }
}

TEST_F(TsharkTest, SetReportCarriesTheReportAndGetReportReturnsIt) {
  std::map<std::string, Row> completions;
  for (const Row& row :
       Fields("usb.urb_type == 'C' && usb.request_in",
              {"usb.request_in", "frame.number", "usb.data_len", "frame.time_epoch"}))
    completions[row[0]] = row;
  std::vector<std::string> setRequests;
  std::vector<std::string> getCompletions;
  for (std::size_t i = 0; i < sample.transfers.size(); ++i) {
    const SampleTrace::Step& step = sample.transfers[i];
    SCOPED_TRACE("transfer " + std::to_string(i + 1));
    const Row& completion = completions[requestFrames[i]];
    ASSERT_EQ(completion.size(), 4u);
    EXPECT_EQ(std::llround(std::stod(completion[3]) * 1000), step.endedMs);
    if (step.kind == trace::TransferKind::Set) {
      setRequests.push_back(requestFrames[i]);
    } else {
      EXPECT_EQ(completion[2], std::to_string(step.bytes.size()));
      getCompletions.push_back(completion[1]);
    }
  }
  const auto sent = Fields("frame.number in {" + Joined(setRequests) + "}", {"usb.data_fragment"});
  const auto returned = FrameData(getCompletions);
  ASSERT_EQ(sent.size(), setRequests.size());
  ASSERT_EQ(returned.size(), getCompletions.size());
  std::size_t nextSet = 0;
  std::size_t nextGet = 0;
  for (const SampleTrace::Step& step : sample.transfers) {
    if (step.kind == trace::TransferKind::Set)
      EXPECT_EQ(sent[nextSet++][0], Hex(step.bytes));
    else
      EXPECT_EQ(returned[nextGet++], step.bytes);
  }
}

TEST_F(TsharkTest, AFailedTransferShowsItsErrorAsTheUrbStatus) {
  std::map<std::string, std::string> status;
  for (const Row& row :
       Fields("usb.urb_type == 'C' && usb.request_in", {"usb.request_in", "usb.urb_status"}))
    status[row[0]] = row[1];
  int failed = 0;
  for (std::size_t i = 0; i < sample.transfers.size(); ++i) {
    const std::uint32_t error = sample.transfers[i].error;
    EXPECT_EQ(status[requestFrames[i]], error ? "-" + std::to_string(error) : "0")
        << "transfer " << i + 1;
    failed += error != 0;
  }
  EXPECT_EQ(failed, 2);
  // What an engineer filters on to find them: every failure, nothing else.
  EXPECT_EQ(Fields("usb.urb_status < 0 && usb.urb_type == 'C'", {"frame.number"}).size(), 2u);
}

TEST_F(TsharkTest, TheUnitsAreToldApartByAddressInterfaceRoleAndSerial) {
  const auto rows =
      Fields("usbhid.setup.ReportType == 3",
             {"usb.device_address", "frame.interface_name", "frame.interface_description"});
  ASSERT_EQ(rows.size(), sample.transfers.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("transfer " + std::to_string(i + 1));
    ASSERT_EQ(rows[i].size(), 3u);
    if (sample.transfers[i].unit == 0) {
      EXPECT_EQ(rows[i][0], "2");
      EXPECT_EQ(rows[i][1], "vr512b-under-test");
      EXPECT_EQ(rows[i][2].find("проверяемое УПО, серийный номер 777"), 0u) << rows[i][2];
    } else {
      EXPECT_EQ(rows[i][0], "3");
      EXPECT_EQ(rows[i][1], "vr512b-reference");
      EXPECT_EQ(rows[i][2].find("эталонное УПО, серийный номер  0012AB"), 0u) << rows[i][2];
    }
  }
  // The serial numbers as string descriptors, and one HID interface per unit.
  const auto serials = Fields("usb.bString", {"usb.device_address", "usb.bString"});
  EXPECT_EQ(serials, (std::vector<Row>{{"2", "777"}, {"3", " 0012AB"}}));
  const auto interfaces =
      Fields("usb.bDescriptorType == 4", {"usb.device_address", "usb.bInterfaceClass"});
  EXPECT_EQ(interfaces, (std::vector<Row>{{"2", "0x03"}, {"3", "0x03"}}));
}

TEST_F(TsharkTest, NoUsbFrameIsMalformedOrWarnedAbout) {
  EXPECT_EQ(Fields("(usb || usbhid) && (_ws.malformed || _ws.expert.severity >= 0x00600000)",
                   {"frame.number"}),
            std::vector<Row>{});
  EXPECT_EQ(Fields("usb", {"frame.number"}).size(), 2 * 10 + 2 * sample.transfers.size());
}

TEST_F(TsharkTest, MarksShowAsSyslogLinesInTheirPlace) {
  const auto rows = Fields("syslog", {"frame.number", "syslog.msg"});
  ASSERT_EQ(rows.size(), sample.marks.size() + 1);
  for (std::size_t i = 0; i < sample.marks.size(); ++i)
    EXPECT_EQ(rows[i][0], markFrames[i]);
  EXPECT_EQ(rows[0][1], "vr512b-diag: " + sample.marks[0].text);
  EXPECT_EQ(rows.back()[1], "vr512b-diag: Конец записи обмена");
}

TEST_F(TsharkTest, ATraceSavedAgainByWiresharkToolsReadsTheSame) {
  const std::string copy = dir.File("copy.pcapng");
  RunTool(std::string(VR512B_EDITCAP) + " -F pcapng '" + path + "' '" + copy + "'");
  trace::TraceReader reader = trace::TraceReader::FromFile(copy);
  trace::Trace again;
  ASSERT_TRUE(ReadTrace(reader, again)) << reader.error();
  ASSERT_EQ(again.events.size(), read.events.size());
  for (std::size_t i = 0; i < read.events.size(); ++i) {
    const auto* before = std::get_if<trace::TransferRecord>(&read.events[i]);
    const auto* after = std::get_if<trace::TransferRecord>(&again.events[i]);
    ASSERT_EQ(before == nullptr, after == nullptr) << "event " << i;
    if (before) {
      EXPECT_EQ(after->bytes, before->bytes) << "event " << i;
    }
  }

  // Saving only some frames drops the end mark: the reader says so.
  const std::string part = dir.File("part.pcapng");
  RunTool(std::string(VR512B_EDITCAP) + " -r '" + path + "' '" + part + "' 1-30");
  trace::TraceReader partial = trace::TraceReader::FromFile(part);
  trace::Trace some;
  EXPECT_FALSE(ReadTrace(partial, some));
  EXPECT_EQ(partial.fault(), trace::TraceFault::Truncated) << partial.error();
  EXPECT_FALSE(some.events.empty());
}

}  // namespace
}  // namespace vr512b
