#include <gtest/gtest.h>

#include <cstring>

#include "autotests/support/test_support.h"
#include "autotests/trace/sample_trace.h"
#include "trace/trace_reader.h"

namespace vr512b {
namespace {

using trace::TraceFault;
using namespace std::string_view_literals;

struct Outcome {
  std::string kinds;  // 'U', 'T', 'M' per event read before the end or the fault
  TraceFault fault;
  std::string error;
};

Outcome ReadBytes(const std::string& bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  trace::TraceReader reader = trace::TraceReader::FromBytes({data, bytes.size()}, "t.pcapng");
  Outcome outcome;
  trace::TraceEvent event;
  while (reader.Next(event))
    outcome.kinds += "UTM"[event.index()];
  outcome.fault = reader.fault();
  outcome.error = reader.error();
  return outcome;
}

std::uint32_t U32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, 4);  // the test machines are little-endian
  return value;
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  std::memcpy(bytes.data() + at, &value, 4);
}

struct BlockAt {
  std::size_t offset;
  std::uint32_t type;
  std::uint32_t length;
};

std::vector<BlockAt> Blocks(const std::string& bytes) {
  std::vector<BlockAt> blocks;
  for (std::size_t at = 0; at + 8 <= bytes.size();) {
    blocks.push_back({at, U32(bytes, at), U32(bytes, at + 4)});
    at += blocks.back().length;
  }
  return blocks;
}

// Where the trace's blocks are: 0 section, 1 marks interface, 2 the first
// mark, 3 the unit under test's interface, 4..13 its descriptor exchanges,
// 14 the request of its first transfer.
constexpr std::size_t kFirstRequest = 14;

class BadTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TempDir dir;
    sample = testing::MakeSampleTrace();
    testing::WriteSampleTrace(sample, dir.File("t.pcapng"));
    bytes = testing::ReadFile(dir.File("t.pcapng"));
    blocks = Blocks(bytes);
    ASSERT_EQ(blocks.size(), 52u);
    ASSERT_EQ(blocks[3].type, 1u);
    ASSERT_EQ(blocks[kFirstRequest].type, 6u);
  }
  void Replace(std::string_view from, std::string_view to) {
    ASSERT_EQ(from.size(), to.size());
    const std::size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    bytes.replace(at, from.size(), to);
  }
  std::string Block(std::size_t i) const {
    return bytes.substr(blocks[i].offset, blocks[i].length);
  }
  std::string Without(std::size_t first, std::size_t count) const {
    const std::size_t end =
        first + count < blocks.size() ? blocks[first + count].offset : bytes.size();
    return bytes.substr(0, blocks[first].offset) + bytes.substr(end);
  }
  void ExpectFault(const std::string& data, TraceFault fault, const std::string& words) {
    const Outcome outcome = ReadBytes(data);
    EXPECT_EQ(outcome.fault, fault) << outcome.error;
    EXPECT_NE(outcome.error.find(words), std::string::npos) << outcome.error;
    EXPECT_EQ(outcome.error.rfind("Трасса t.pcapng: ", 0), 0u) << outcome.error;
  }

  testing::SampleTrace sample;
  std::string bytes;
  std::vector<BlockAt> blocks;
};

TEST_F(BadTrace, TheSampleItselfReadsWhole) {
  const Outcome outcome = ReadBytes(bytes);
  EXPECT_EQ(outcome.fault, TraceFault::None) << outcome.error;
  EXPECT_EQ(outcome.kinds, sample.order);
}

TEST_F(BadTrace, EveryCutIsReportedAndKeepsWhatCameBefore) {
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    const Outcome outcome = ReadBytes(bytes.substr(0, size));
    ASSERT_NE(outcome.fault, TraceFault::None) << "cut at " << size;
    ASSERT_TRUE(outcome.fault == TraceFault::Truncated ||
                (outcome.fault == TraceFault::NotPcapng && size < blocks[1].offset))
        << "cut at " << size << ": " << outcome.error;
    ASSERT_EQ(sample.order.rfind(outcome.kinds, 0), 0u) << "cut at " << size;
  }
}

TEST_F(BadTrace, ACutBetweenARequestAndItsCompletionNamesTheFrame) {
  // Frames: the mark, ten descriptor packets, then the first request is frame 12.
  ExpectFault(bytes.substr(0, blocks[kFirstRequest + 1].offset), TraceFault::Truncated,
              "у запроса кадра 12 нет завершения");
}

TEST_F(BadTrace, FilesThatAreNotPcapng) {
  ExpectFault("", TraceFault::NotPcapng, "файл пуст");
  ExpectFault("Windows Registry Editor Version 5.00\r\n\r\n", TraceFault::NotPcapng,
              "не файл pcapng");
  // A classic pcap file of usbmon packets.
  ExpectFault(std::string("\xD4\xC3\xB2\xA1\x02\x00\x04\x00", 8) + std::string(16, '\0'),
              TraceFault::NotPcapng, "не файл pcapng");
  std::string unknownOrder = bytes;
  PutU32(unknownOrder, 8, 0x12345678);
  ExpectFault(unknownOrder, TraceFault::NotPcapng, "порядка байтов");
}

TEST_F(BadTrace, ABigEndianSectionIsRefusedByName) {
  PutU32(bytes, 8, 0x4D3C2B1A);
  ExpectFault(bytes, TraceFault::Unsupported, "big-endian");
}

TEST_F(BadTrace, BlocksThatLieAboutTheirLength) {
  const std::size_t at = blocks[kFirstRequest].offset;
  const std::uint32_t length = blocks[kFirstRequest].length;
  const std::vector<std::pair<std::uint32_t, std::string>> lies = {
      {0xFFFFFFF0u, "4294967280 байт, больше допустимых"},
      {8, "блок длиной 8 байт"},
      {length + 2, "блок длиной"},
      {length + 4, "не совпадает с длиной в начале"},
      {length - 4, "не совпадает с длиной в начале"},
  };
  for (const auto& [lie, words] : lies) {
    SCOPED_TRACE(lie);
    std::string data = bytes;
    PutU32(data, at + 4, lie);
    ExpectFault(data, TraceFault::Malformed, words);
  }
  std::string trailer = bytes;
  PutU32(trailer, at + length - 4, length + 4);
  ExpectFault(trailer, TraceFault::Malformed, "не совпадает с длиной в начале");
}

TEST_F(BadTrace, PacketsThatLieAboutTheirContent) {
  const std::size_t fields = blocks[kFirstRequest].offset + 8;
  std::string data = bytes;
  PutU32(data, fields + 12, 0xFFFFFF00u);
  ExpectFault(data, TraceFault::Malformed, "не помещается в свой блок");
  data = bytes;
  PutU32(data, fields + 16, U32(bytes, fields + 16) + 100);
  ExpectFault(data, TraceFault::Malformed, "записан не целиком");
  data = bytes;
  PutU32(data, fields, 99);
  ExpectFault(data, TraceFault::Malformed, "интерфейса 99, которого нет");
  data = bytes;
  const std::size_t usbmon = fields + 20;
  PutU32(data, usbmon + 36, 1000);
  ExpectFault(data, TraceFault::Malformed, "длина данных в заголовке usbmon");
  data = bytes;
  // The section header's first option, the format comment.
  data[blocks[0].offset + 8 + 16 + 2] = '\xF0';
  data[blocks[0].offset + 8 + 16 + 3] = '\xFF';
  ExpectFault(data, TraceFault::Malformed, "выходит за блок");
}

TEST_F(BadTrace, AnotherDevicesTrace) {
  // Vendor 0x8002, product 0x4002 in the device descriptor of the unit under test.
  Replace("\x02\x80\x02\x40\x02\x01", "\x34\x12\x02\x40\x02\x01");
  ExpectFault(bytes, TraceFault::OtherDevice, "VID 0x1234, PID 0x4002");
}

TEST_F(BadTrace, PcapngFilesOfOtherProgramsOrFormats) {
  const std::string original = bytes;
  Replace("vr512b-under-test", "usbmon1\0\0\0\0\0\0\0\0\0\0"sv);
  ExpectFault(bytes, TraceFault::NotOurTrace, "не назван ни ролью УПО");
  bytes = original;
  Replace("vr512b-trace 1", "wireshark-ng 1");
  ExpectFault(bytes, TraceFault::NotOurTrace, "это не запись обмена с УПО VR512B");
  bytes = original;
  Replace("vr512b-trace 1", "vr512b-trace 2");
  ExpectFault(bytes, TraceFault::Unsupported, "формат \"vr512b-trace 2\" не поддерживается");
  bytes = original;
  bytes[blocks[3].offset + 8] = 1;  // Ethernet
  ExpectFault(bytes, TraceFault::NotOurTrace, "с типом канала 1");
}

TEST_F(BadTrace, TransfersOutOfTheirPlace) {
  // The unit's identity missing: its descriptor exchanges cut out.
  ExpectFault(Without(4, 10), TraceFault::Malformed, "до его дескрипторов");
  ExpectFault(Without(kFirstRequest, 1), TraceFault::Malformed, "завершение без своего запроса");
  ExpectFault(Without(kFirstRequest + 1, 1), TraceFault::Malformed, "новый запрос");
  ExpectFault(bytes + Block(kFirstRequest), TraceFault::Malformed, "после отметки конца");
  ExpectFault(bytes + Block(0), TraceFault::Unsupported, "вторая секция");
}

TEST_F(BadTrace, BlocksOfNoInterestArePassedOver) {
  // An interface statistics block, as Wireshark writes when it saves a file.
  std::string statistics("\x05\x00\x00\x00\x18\x00\x00\x00\x01\x00\x00\x00", 12);
  statistics += std::string(8, '\0') + std::string("\x18\x00\x00\x00", 4);
  const std::size_t at = blocks[kFirstRequest].offset;
  const Outcome outcome = ReadBytes(bytes.substr(0, at) + statistics + bytes.substr(at));
  EXPECT_EQ(outcome.fault, TraceFault::None) << outcome.error;
  EXPECT_EQ(outcome.kinds, sample.order);
}

}  // namespace
}  // namespace vr512b
