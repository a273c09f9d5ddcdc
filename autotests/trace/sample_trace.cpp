#include "autotests/trace/sample_trace.h"

#include <gtest/gtest.h>

#include "trace/trace_writer.h"

namespace vr512b::testing {

using trace::TransferKind;

namespace {

std::vector<std::uint8_t> Counting(std::uint8_t first, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

}  // namespace

SampleTrace MakeSampleTrace() {
  SampleTrace sample;
  sample.underTest = {trace::Role::UnderTest, u"777", 0x8002, 0x4002, 0x0102};
  sample.reference = {trace::Role::Reference, u" 0012AB", 0x8002, 0x4002, 0x0A03};
  std::vector<std::uint8_t> message = Counting(0x80, 43);
  message[0] = 3;
  std::vector<std::uint8_t> config = Counting(0x10, 17);
  config[0] = 2;
  // Unit 0 is the unit under test, 1 the reference unit, added after it.
  sample.transfers = {
      {TransferKind::Set, 0, 1, 7, {1, 'G', 0, 0, 0, 0, 0}, 0, 10, 11},
      {TransferKind::Get, 0, 1, 7, {0, 0, 0, 4, 5, 0x81, 0xEE}, 0, 161, 162},
      {TransferKind::Set, 0, 2, 17, config, 0, 162, 163},
      {TransferKind::Get, 0, 2, 17, Counting(0x10, 17), 0, 193, 194},
      {TransferKind::Set, 0, 3, 43, message, 0, 194, 195},
      {TransferKind::Get, 0, 3, 43, Counting(0x40, 43), 0, 195, 196},
      {TransferKind::Set, 1, 1, 7, {1, 'C', 0, 0, 0, 0, 0}, 0, 300, 301},
      // A failed read returns nothing; a failed write still sent its report.
      {TransferKind::Get, 1, 1, 7, {}, 32, 301, 302},
      {TransferKind::Set, 1, 3, 43, message, 19, 302, 1302},
      {TransferKind::Get, 1, 2, 17, Counting(0x20, 17), 0, 1302, 1303},
      // A short read, as hidapi may give one.
      {TransferKind::Get, 1, 3, 43, Counting(0x60, 5), 0, 1303, 1304},
      {TransferKind::Get, 0, 1, 7, {0, 0, 0, 4, 6, 0x00, 0xEE}, 0, 1305, 1306},
  };
  sample.marks = {{"func begins; generator state 0", 0},
                  {"второй тест\nначался; generator state 1234567", 299},
                  {std::string("zero\0byte", 9), 1304}};
  sample.order = "MUTTTTTTUMTTTTTMT";
  return sample;
}

void WriteSampleTrace(const SampleTrace& sample, const std::string& path) {
  trace::TraceWriter writer;
  ASSERT_TRUE(writer.Open(path, "vr512b-diag 2.0.0.3")) << writer.error();
  auto mark = [&](std::size_t i) {
    ASSERT_TRUE(writer.Mark(sample.marks[i].text, sample.marks[i].timeMs)) << writer.error();
  };
  auto transfer = [&](std::size_t i) {
    const SampleTrace::Step& step = sample.transfers[i];
    trace::Transfer t;
    t.unit = step.unit;
    t.kind = step.kind;
    t.reportId = step.reportId;
    t.length = step.length;
    t.bytes = step.bytes;
    t.error = step.error;
    t.beganMs = step.beganMs;
    t.endedMs = step.endedMs;
    ASSERT_TRUE(writer.Write(t)) << writer.error();
  };
  mark(0);
  ASSERT_EQ(writer.AddUnit(sample.underTest, 0), 0u) << writer.error();
  for (std::size_t i = 0; i < 6; ++i)
    transfer(i);
  ASSERT_EQ(writer.AddUnit(sample.reference, 250), 1u) << writer.error();
  mark(1);
  // Meeting a unit again changes nothing in the trace.
  ASSERT_EQ(writer.AddUnit(sample.underTest, 299), 0u) << writer.error();
  for (std::size_t i = 6; i < 11; ++i)
    transfer(i);
  mark(2);
  transfer(11);
  ASSERT_TRUE(writer.Close()) << writer.error();
}

}  // namespace vr512b::testing
