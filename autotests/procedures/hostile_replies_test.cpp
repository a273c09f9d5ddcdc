// Hostile replies replayed through the fuzz target's own path: units that
// answer with whatever bytes the input holds. Each input is written out by
// hand in the target's input format (hostile_unit.h).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "autotests/support/hostile_unit.h"

namespace vr512b {
namespace {

using testing::HostileOutcome;
using testing::RunHostileInput;

// Input bytes in the order the units hand them out.
class Input {
 public:
  // Which run, the parameter check boxes, the pump to Abort at (0 never),
  // the shape of the telephone numbers.
  Input(std::uint8_t run, std::uint8_t boxes, std::uint8_t abortAtPump, std::uint8_t phones)
      : bytes_{run, boxes, abortAtPump, phones} {}

  Input& Byte(std::uint8_t b) {
    bytes_.push_back(b);
    return *this;
  }
  Input& Text(std::string_view text, std::size_t field) {
    for (std::size_t i = 0; i < field; ++i)
      bytes_.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    return *this;
  }
  // A reply read answered by a message of this format, number field and data
  // field, both taken exactly as given (no terminator is added).
  Input& Message(std::uint8_t format, std::string_view number, std::string_view data) {
    return Byte(7).Byte(format).Text(number, 16).Text(data, 24);
  }
  // A reply read answered by the oldest unacknowledged message written, or by
  // message `index` of all ever written.
  Input& LoopBack() { return Byte(1); }
  Input& Replay(std::uint8_t index) { return Byte(8).Byte(index); }

  HostileOutcome Run() const { return RunHostileInput(bytes_.data(), bytes_.size()); }

 private:
  std::vector<std::uint8_t> bytes_;
};

constexpr std::uint8_t kRunTr = 3;
constexpr std::uint8_t kRunTrMess = 6;
constexpr std::uint8_t kRunMonitor = 8;
constexpr std::uint8_t kContactIdOnly = 0x01;
constexpr std::uint8_t kLowSpeedOnly = 0x02;

constexpr std::uint8_t kIdle = 0x00;
constexpr std::uint8_t kAnswerer = sfAnswerer;
constexpr std::uint8_t kCaller = sfCaller;
constexpr std::uint8_t kCallerOnLine = sfCaller | sfOnLine;

bool Has(const std::vector<std::string>& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

TEST(HostileReplies, TextFieldsWithoutTerminatorsStayInsideTheirFields) {
  // The monitor: a Contact ID message whose 24 data bytes have no zero,
  // control characters among them and code-page letters at the end.
  const std::string data = std::string("AB\x01\rCD") + std::string(18, '\xC0');
  HostileOutcome monitor = Input(kRunMonitor, 0x1F, 0, 0)
                               .Byte(0)  // the configuration read gives back what was written
                               .Byte(kIdle)
                               .Message(fcContactID, "", data)
                               .Byte(kIdle)  // the next pass; the acknowledgement needs input left
                               .Run();
  EXPECT_EQ(monitor.problems, std::vector<std::string>{});
  std::string cyrillic;
  for (int i = 0; i < 18; ++i)
    cyrillic += "А";
  EXPECT_TRUE(Has(monitor.log, "Принял 00, формат 11: AB??CD" + cyrillic));

  // The phone-line test: a calling number that fills all 16 bytes of its
  // field runs straight into the data field, which must not join it.
  HostileOutcome line = Input(kRunTrMess, kContactIdOnly, 0, 0)
                            .Byte(0)
                            .Byte(0)
                            .Byte(kCaller)  // the first message is handed over
                            .Byte(kCallerOnLine)
                            .Message(fcContactID, "1234567890123456", "000018111000000")
                            .Byte(kAnswerer)
                            .Run();
  EXPECT_EQ(line.problems, std::vector<std::string>{});
  EXPECT_TRUE(Has(line.log, "!!!Номер: 1234567890123456 !!!"));
  EXPECT_TRUE(Has(line.log, "Принял  сообщение 0: 000018111000000"));
}

TEST(HostileReplies, AMessageBeyondTheSeriesHasNoRowToBeComparedWith) {
  // Low Speed over the plain line: ten messages sent and looped back.
  Input input(kRunTr, kLowSpeedOnly, 0, 0);
  input.Byte(0).Byte(0);
  for (int k = 0; k < 10; ++k) {
    input.Byte(kCaller).LoopBack();
    if (k < 9)
      input.Byte(kAnswerer);
  }
  input.Byte(kIdle).Byte(kIdle);
  // Over the attenuated line the unit presents the first pass's ten messages
  // again while the transmitter stays on line, and then an eleventh.
  input.Byte(0).Byte(0);
  for (int k = 0; k <= 10; ++k)
    input.Byte(kCallerOnLine).Replay(static_cast<std::uint8_t>(k % 10)).Byte(kAnswerer);
  const HostileOutcome outcome = input.Run();

  EXPECT_EQ(outcome.problems, std::vector<std::string>{});
  EXPECT_TRUE(Has(outcome.log, "Принял  сообщение 09: 4321CD"));
  const std::vector<std::string> end(outcome.log.end() - 5, outcome.log.end());
  EXPECT_EQ(end, (std::vector<std::string>{
                     "Принял  сообщение 10: 001112", "Принято лишнее сообщение",
                     "Проверяемое устройство закрыто", "Эталонное устройство закрыто", ""}));
}

}  // namespace
}  // namespace vr512b
