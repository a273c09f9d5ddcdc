// What the hidraw driver can answer besides a unit's report, through hidapi:
// a unit gone at any transfer (ENODEV), an I/O error, a stalled request, a
// timeout, and transfers that move fewer bytes than the report holds.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "autotests/realhid/real_stack.h"
#include "autotests/support/test_support.h"

namespace vr512b::realhid {
namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> Command(const testing::TempDir& dir, const std::string& store,
                                 const std::vector<std::string>& args) {
  std::vector<std::string> command{"--simulate", "--virtual-time", "--settings", dir.File(store)};
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

// The unit under test answers its transfer number `index` with `fault`.
std::function<void(RealStack&)> FaultAt(int index, TransferFault fault) {
  return [=](RealStack& stack) {
    stack.units.SetFault([=](const FeatureTransfer& t) -> std::optional<TransferFault> {
      if (t.role == urUnderTest && t.index == index)
        return fault;
      return std::nullopt;
    });
  };
}

// The sound test uses only the unit under test; it may lose the unit at any
// of its transfers. Each run prints what the virtual bench prints for the
// same loss: the role's error line with the system's "no such device",
// "Ошибка", and the unit closed.
TEST(RealTransferFaults, TheUnitGoesAtEveryTransferOfTheSoundTest) {
  testing::TempDir dir;
  const RunOutput clean = RunOverRealStack(Command(dir, "clean.reg", {"sound"}));
  ASSERT_EQ(clean.status, 0) << clean.out;
  const int transfers = clean.transfers[urUnderTest];
  ASSERT_GT(transfers, 10);
  const std::string gone = std::string("Проверяемое: ") + std::strerror(ENODEV);
  for (int k = 0; k < transfers; ++k) {
    SCOPED_TRACE("unplugged after " + std::to_string(k) + " transfers");
    const std::vector<std::string> args{"--sim", "unplug ut after " + std::to_string(k), "sound"};
    const RunOutput want = RunCliProcess(Command(dir, "virtual-" + std::to_string(k), args));
    const RunOutput got = RunOverRealStack(Command(dir, "real-" + std::to_string(k), args));
    EXPECT_EQ(got.out, want.out);
    EXPECT_EQ(got.err, want.err);
    EXPECT_EQ(got.err.substr(got.err.rfind("STSound")), "STSound: Ошибка\n");
    EXPECT_EQ(got.status, 1);
    const Lines log = testing::Lines(got.out);
    EXPECT_NE(std::find(log.begin(), log.end(), gone), log.end());
    EXPECT_FALSE(got.inUse[urUnderTest]);
    if (::testing::Test::HasFailure())
      break;
  }
}

// The functioning test meets every kind of transfer early: transfer n of the
// unit under test is the first of its kind.
struct KindOfTransfer {
  int index;
  std::uint8_t reportId;
  bool set;
  Lines before;     // the test's lines between the open and the failure
  bool rolePrefix;  // the configuration cycles log the bare system text
};

std::vector<KindOfTransfer> KindsOfTransfer() {
  // The first reply read takes the unit's power-on event.
  const std::string powerOn = "Событие проверяемого: включение питания";
  Lines cycles{powerOn, "Очистка проверяемого"};
  for (int r = 1; r <= 20; ++r) {
    cycles.push_back("Запись конфигурации " + std::to_string(r));
    cycles.push_back("Чтение конфигурации " + std::to_string(r));
  }
  Lines state = cycles;
  state.insert(state.end(), {"Очистка регистров проверяемого", "Читаю состояние проверяемого"});
  Lines message = state;
  message.insert(message.end(), {"Принятых сообщений: 0", "Переданных сообщений: 0",
                                 "Состояние: отсутствует", "Записываю тестовое сообщение 1"});
  return {
      {0, 3, false, {}, true},  // the first reply read
      {1, 1, true, {}, true},   // its acknowledgement
      {2, 1, true, Lines(cycles.begin(), cycles.begin() + 2), true},
      {3, 2, true, Lines(cycles.begin(), cycles.begin() + 3), false},
      {4, 2, false, Lines(cycles.begin(), cycles.begin() + 4), false},
      {44, 1, false, state, true},
      {45, 3, true, message, true},
  };
}

Lines FailedFunctioningTest(const KindOfTransfer& kind, const std::string& systemText) {
  Lines log{std::string(39, '-'),         ">>>>>--Проверка функционирования--<<<<<",
            std::string(39, '-'),         "Открыл проверяемое УПО",
            "  версия 2.3 (проверяемое)", "  серийный номер 10002 (проверяемое)"};
  log.insert(log.end(), kind.before.begin(), kind.before.end());
  // The system's texts end in a line break: an empty line follows them.
  log.push_back((kind.rolePrefix ? "Проверяемое: " : "") + systemText);
  log.insert(log.end(), {"", "Проверяемое устройство закрыто", ""});
  return log;
}

std::size_t ReportLength(std::uint8_t reportId) {
  return reportId == 1 ? 7 : reportId == 2 ? 17 : 43;
}

TEST(RealTransferFaults, SystemErrorsOfEveryKindOfTransfer) {
  testing::TempDir dir;
  int run = 0;
  for (const KindOfTransfer& kind : KindsOfTransfer()) {
    for (const int error : {EIO, EPIPE, ETIMEDOUT}) {
      SCOPED_TRACE("transfer " + std::to_string(kind.index) + ", " + std::strerror(error));
      const RunOutput got = RunOverRealStack(Command(dir, std::to_string(run++), {"func"}),
                                             FaultAt(kind.index, {error, {}}));
      EXPECT_EQ(testing::Lines(got.out), FailedFunctioningTest(kind, std::strerror(error)));
      EXPECT_EQ(got.err, "STFunc: Ошибка\n");
      EXPECT_FALSE(got.inUse[urUnderTest]);
    }
  }
}

// A signal handled in the pause after a failed transfer leaves EINTR in errno;
// the run still logs the transfer's own reason. The configuration write of
// the first cycle (transfer 3) is followed by its 30 ms pause.
class InterruptedClock final : public Clock {
 public:
  void Sleep(int ms) override {
    time_.Sleep(ms);
    errno = EINTR;
  }
  std::int64_t NowMs() override { return time_.NowMs(); }

 private:
  VirtualClock time_;
};

TEST(RealTransferFaults, ASignalInThePauseAfterAFailedTransferKeepsItsReason) {
  testing::TempDir dir;
  InterruptedClock clock;
  const KindOfTransfer configWrite = KindsOfTransfer()[3];
  ASSERT_EQ(configWrite.index, 3);
  const RunOutput got = RunOverRealStack(Command(dir, "interrupted.reg", {"func"}),
                                         FaultAt(configWrite.index, {ENODEV, {}}), false, &clock);
  EXPECT_EQ(testing::Lines(got.out), FailedFunctioningTest(configWrite, "No such device"));
  EXPECT_EQ(got.err, "STFunc: Ошибка\n");
  EXPECT_FALSE(got.inUse[urUnderTest]);
}

// A unit pulled out mid-transfer: a real kernel fails the request in flight
// (EPROTO, ESHUTDOWN, or ETIMEDOUT after the control timeout), and answers
// ENODEV only after that. The test fails with the in-flight reason, the unit
// is closed, and the next test finds no unit.
TEST(RealTransferFaults, AUnitPulledOutFailsTheTransferInFlightFirst) {
  testing::TempDir dir;
  int run = 0;
  for (const KindOfTransfer& kind : KindsOfTransfer()) {
    for (const int error : {EPROTO, ESHUTDOWN, ETIMEDOUT}) {
      SCOPED_TRACE("unplugged at transfer " + std::to_string(kind.index) + ", " +
                   std::strerror(error));
      const RunOutput got = RunOverRealStack(
          Command(dir, std::to_string(run++),
                  {"--sim", "unplug ut after " + std::to_string(kind.index), "func", "sound"}),
          [&](RealStack& stack) { stack.units.SetInFlightError(error); });
      const Lines log = testing::Lines(got.out);
      const Lines functioning = FailedFunctioningTest(kind, std::strerror(error));
      ASSERT_GT(log.size(), functioning.size()) << got.out;
      EXPECT_EQ(Lines(log.begin(), log.begin() + functioning.size()), functioning);
      EXPECT_NE(std::find(log.begin() + functioning.size(), log.end(),
                          "Не удалось открыть проверяемое УПО"),
                log.end());
      EXPECT_EQ(got.err.substr(got.err.rfind("STFunc")), "STFunc: Ошибка\nSTSound: Ошибка\n");
      EXPECT_FALSE(got.inUse[urUnderTest]);
    }
  }
}

// EAGAIN and EINTR say the request never reached the unit: it is made once
// more, unseen in the log, and only a second refusal fails the test.
TEST(RealTransferFaults, ARefusedTransferIsMadeOnceMore) {
  testing::TempDir dir;
  const RunOutput clean = RunOverRealStack(Command(dir, "clean.reg", {"func"}));
  ASSERT_EQ(clean.status, 0) << clean.out;
  int run = 0;
  for (const KindOfTransfer& kind : KindsOfTransfer()) {
    for (const int error : {EAGAIN, EINTR}) {
      SCOPED_TRACE("transfer " + std::to_string(kind.index) + ", " + std::strerror(error));
      const RunOutput once = RunOverRealStack(Command(dir, std::to_string(run++), {"func"}),
                                              FaultAt(kind.index, {error, {}}));
      EXPECT_EQ(once.err, "STFunc: OK\n");
      EXPECT_EQ(once.status, 0);
      EXPECT_EQ(once.transfers[urUnderTest], clean.transfers[urUnderTest] + 1);

      const RunOutput twice =
          RunOverRealStack(Command(dir, std::to_string(run++), {"func"}), [&](RealStack& stack) {
            stack.units.SetFault([&](const FeatureTransfer& t) -> std::optional<TransferFault> {
              if (t.role == urUnderTest && (t.index == kind.index || t.index == kind.index + 1))
                return TransferFault{error, {}};
              return std::nullopt;
            });
          });
      EXPECT_EQ(testing::Lines(twice.out), FailedFunctioningTest(kind, std::strerror(error)));
      EXPECT_EQ(twice.err, "STFunc: Ошибка\n");
      EXPECT_EQ(twice.transfers[urUnderTest], kind.index + 2);
    }
  }
}

// A report that moved fewer bytes than it holds is no answer: the exchange
// fails with "Protocol error" (EPROTO), the console's code for it.
TEST(RealTransferFaults, ShortAndEmptyTransfersOfEveryReport) {
  testing::TempDir dir;
  int run = 0;
  for (const KindOfTransfer& kind : KindsOfTransfer()) {
    const std::size_t length = ReportLength(kind.reportId);
    for (const std::size_t moved : {std::size_t{0}, std::size_t{1}, length - 1}) {
      SCOPED_TRACE("transfer " + std::to_string(kind.index) + " moves " + std::to_string(moved) +
                   " of " + std::to_string(length) + " bytes");
      const RunOutput got = RunOverRealStack(Command(dir, std::to_string(run++), {"func"}),
                                             FaultAt(kind.index, {0, moved}));
      EXPECT_EQ(testing::Lines(got.out), FailedFunctioningTest(kind, std::strerror(EPROTO)));
      EXPECT_EQ(got.err, "STFunc: Ошибка\n");
      // No acknowledgement follows a reply that did not come whole.
      EXPECT_EQ(got.transfers[urUnderTest], kind.index + 1);
    }
  }
}

// An empty answer to the indication test's configuration read once made the
// console write a block of zeros back to the unit, three times, and pass.
TEST(RealTransferFaults, AnEmptyConfigurationReadLeavesTheUnitAlone) {
  testing::TempDir dir;
  int configurationReads = 0;
  bool written = false;
  const RunOutput got =
      RunOverRealStack(Command(dir, "indic.reg", {"indic"}), [&](RealStack& stack) {
        stack.units.SetFault([&](const FeatureTransfer& t) -> std::optional<TransferFault> {
          if (t.reportId == 2 && t.set)
            written = true;
          if (t.reportId == 2 && !t.set && configurationReads++ == 0)
            return TransferFault{0, std::size_t{0}};
          return std::nullopt;
        });
      });
  const Lines log = testing::Lines(got.out);
  const Lines tail(log.end() - 5, log.end());
  EXPECT_EQ(tail, (Lines{"чтение конфигурации проверяемого",
                         std::string("Проверяемое: ") + std::strerror(EPROTO), "",
                         "Проверяемое устройство закрыто", ""}));
  EXPECT_EQ(got.err.substr(got.err.rfind("STIndic")), "STIndic: Ошибка\n");
  EXPECT_FALSE(written) << "a configuration reached the unit";
}

}  // namespace
}  // namespace vr512b::realhid
