// A replay that meets something else than the recorded run: the first
// difference fails its transfer with a system error text that says so, and is
// explained on stderr with the transfer's frame and both byte strings.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "autotests/replay/replay_support.h"
#include "trace/trace_reader.h"

namespace vr512b::replaytest {
namespace {

using testing::Lines;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char digits[4];
  for (const std::uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", byte);
    text += digits;
  }
  return text;
}

TEST(Divergence, AOneByteEditOfARecordedSetFailsThatTransferAndIsExplained) {
  testing::TempDir dir;
  const std::string trace = dir.File("func.pcapng");
  const RecordedRun recorded = RecordRun(dir.File("record.reg"), trace, {"func"});
  ASSERT_EQ(recorded.run.status, 0) << recorded.run.err;

  // The 30th SET_REPORT: a test message of the functioning test.
  trace::TraceReader reader = trace::TraceReader::FromFile(trace);
  trace::Trace read;
  ASSERT_TRUE(ReadTrace(reader, read)) << reader.error();
  trace::TransferRecord edited;
  std::size_t number = 0;
  int sets = 0;
  for (const trace::TraceEvent& event : read.events) {
    if (const auto* t = std::get_if<trace::TransferRecord>(&event)) {
      ++number;
      if (t->kind == trace::TransferKind::Set && ++sets == 30) {
        edited = *t;
        break;
      }
    }
  }
  ASSERT_EQ(edited.reportId, kReportMessage);
  // In a trace from before traces carried a digest: with it, the edited
  // trace would be refused as damaged before it starts.
  ASSERT_TRUE(FlipPacketByte(trace, edited.frame, 64 + 5));
  ASSERT_TRUE(DropDigest(trace));
  std::vector<std::uint8_t> inTrace = edited.bytes;
  inTrace[5] ^= 0x01;

  const RunOutput replayed = ReplayRun(dir.File("replay.reg"), trace, {"func"});
  EXPECT_EQ(replayed.status, 1);
  // The log is the recorded one up to the transfer that differs; there the
  // exchange fails as a failed transfer does, with the replay's own error.
  const std::vector<std::string> want = Lines(recorded.run.out);
  const std::vector<std::string> got = Lines(replayed.out);
  std::size_t same = 0;
  while (same < got.size() && same < want.size() && got[same] == want[same])
    ++same;
  ASSERT_LT(same + 2, got.size()) << replayed.out;
  EXPECT_EQ(want[same].rfind("Записываю тестовое сообщение ", 0), 0u) << want[same];
  EXPECT_EQ(got[same], "Проверяемое: Обмен расходится с записанной трассой");
  EXPECT_EQ(got[same + 1], "");
  EXPECT_EQ(got[same + 2], "Проверяемое устройство закрыто");
  EXPECT_NE(replayed.err.find("STFunc: Ошибка"), std::string::npos);

  const std::string explained = "vr512b-diag-cli: трасса " + trace +
                                " расходится с работой консоли\n"
                                "  консоль: проверяемое УПО, SET_REPORT, отчёт 3, 43 байт: " +
                                Hex(edited.bytes) + "\n  трасса:  передача " +
                                std::to_string(number) + ", кадр " + std::to_string(edited.frame) +
                                ": проверяемое УПО, SET_REPORT, отчёт 3, 43 байт: " + Hex(inTrace) +
                                "\n";
  EXPECT_NE(replayed.err.find(explained), std::string::npos) << replayed.err;
  const std::size_t first = replayed.err.find("расходится");
  EXPECT_EQ(replayed.err.find("расходится", first + 1), std::string::npos) << "explained once";
}

TEST(Divergence, AnOperatorWhoAnswersOtherwiseThanRecordedIsADivergence) {
  testing::TempDir dir;
  const std::string trace = dir.File("indic.pcapng");
  const RecordedRun recorded = RecordRun(dir.File("record.reg"), trace, {"indic"});
  ASSERT_EQ(recorded.run.status, 0) << recorded.run.err;
  const RunOutput replayed = RunRunner(
      dir.File("replay.reg"),
      {"--sim", "replay ut " + trace, "--sim", "replay ref " + trace, "--answer", "no", "indic"});
  EXPECT_EQ(replayed.status, 1);
  EXPECT_NE(replayed.err.find("  консоль: ответ «Нет» на вопрос «На дисплей проверяемого УПО"),
            std::string::npos)
      << replayed.err;
  EXPECT_NE(replayed.err.find("отметка «Ответ «Да»: На дисплей проверяемого УПО"),
            std::string::npos)
      << replayed.err;
}

}  // namespace
}  // namespace vr512b::replaytest
