#include "procedures/functioning_procedure.h"

#include <cstring>
#include <string>

#include "procedures/test_failure.h"

namespace vr512b {

namespace {

constexpr int kConfigCycles = 20;
constexpr int kTestMessages = 200;
constexpr int kPauseAfterMessageMs = 20;
constexpr int kPauseBeforeCountMs = 100;
// The random configuration blocks always carry 0 in this byte.
constexpr int kZeroedConfigByte = 5;

[[noreturn]] void Fail(ProcedureHost& host, const char* text) {
  host.WriteLog(text);
  throw TestFailure(text);
}

void RequireState(ProcedureHost& host, int wantReceived) {
  int received = 0;
  int sent = 0;
  const std::uint8_t flags = host.unit().ReadState(urUnderTest, &received, &sent);
  if (received != wantReceived || sent != 0 || flags != 0)
    Fail(host, "Неверное состояние");
}

// A read-back matches when byte 1 and both zero-terminated texts agree; the
// expected block bounds the comparison, so a reply without terminators cannot
// make it run past the block.
bool SameTestMessage(const TMessageBlock& got, const TMessageBlock& want) {
  if (got[1] != want[1])
    return false;
  for (std::size_t start : {std::size_t{2}, std::size_t{kMsgDataField}}) {
    const std::size_t length = std::strlen(reinterpret_cast<const char*>(want.data() + start)) + 1;
    if (std::memcmp(got.data() + start, want.data() + start, length) != 0)
      return false;
  }
  return true;
}

class FunctioningProcedure final : public TestRun {
 public:
  void Body(ProcedureHost& host) override {
    UnitSteps unit = host.unit();
    if (!host.link().OpenDevice(urUnderTest))
      throw TestFailure(kCannotOpenDevice);
    TMessageBlock reply;
    unit.ReadReply(urUnderTest, reply);
    unit.ClearUnit(urUnderTest);
    ConfigCycles(host);
    unit.ClearRegisters(urUnderTest);
    RequireState(host, 0);

    for (int n = 1; n <= kTestMessages; ++n) {
      host.WriteLog("Записываю тестовое сообщение " + std::to_string(n));
      TMessageBlock message;
      BuildTestMessage(message, n);
      unit.WriteMessage(urUnderTest, message);
      host.clock().Sleep(kPauseAfterMessageMs);
      host.ProcessMessages();
      host.CheckAbort();
    }
    host.clock().Sleep(kPauseBeforeCountMs);
    RequireState(host, kTestMessages);

    for (int n = 1; n <= kTestMessages; ++n) {
      host.WriteLog("Читаю тестовое сообщение " + std::to_string(n));
      TMessageBlock got;
      unit.ReadReply(urUnderTest, got);
      TMessageBlock want;
      BuildTestMessage(want, n);
      if (!SameTestMessage(got, want))
        Fail(host, "Неверные данные");
      host.ProcessMessages();
      host.CheckAbort();
    }

    int received = 0;
    int sent = 0;
    const std::uint8_t flags = unit.ReadState(urUnderTest, &received, &sent);
    if (sent != 0 || flags != 0 || (received != 0 && received != kTestMessages)) {
      Fail(host, "Неверное состояние");
    }
  }

 private:
  static void ConfigCycles(ProcedureHost& host) {
    for (int r = 1; r <= kConfigCycles; ++r) {
      host.WriteLog("Запись конфигурации " + std::to_string(r));
      TConfigBlock written;
      host.unit().FillRandom(written.data(), static_cast<int>(written.size()));
      written[kZeroedConfigByte] = 0;
      if (Outcome<void> done = host.unit().TryWriteConfig(urUnderTest, written); !done)
        ExchangeFailed(host, done.reason());
      host.WriteLog("Чтение конфигурации " + std::to_string(r));
      TConfigBlock read;
      if (Outcome<void> done = host.unit().TryReadConfig(urUnderTest, read); !done)
        ExchangeFailed(host, done.reason());
      if (read != written)
        Fail(host, "Данные не совпадают");
    }
  }

  [[noreturn]] static void ExchangeFailed(ProcedureHost& host, const ErrorReason& reason) {
    host.WriteLog(reason.text);
    throw TestFailure(kCommandFailed);
  }
};

}  // namespace

std::unique_ptr<TestRun> MakeFunctioningProcedure() {
  return std::make_unique<FunctioningProcedure>();
}

}  // namespace vr512b
