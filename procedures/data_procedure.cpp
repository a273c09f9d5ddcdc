#include "procedures/data_procedure.h"

#include "procedures/message_exchange.h"
#include "procedures/test_failure.h"

namespace vr512b {

namespace {

constexpr const char* kPlainLineNotice =
    "Проверяемое и эталонное УПО должны быть подключены к имитатору телефонной линии, кнопка "
    "'ЛИНИЯ' - нажата.";
constexpr const char* kAttenuatedLineNotice =
    "Проверяемое и эталонное УПО должны быть подключены к имитатору телефонной линии, кнопки "
    "'ЛИНИЯ' и 'ЗАТУХАНИЕ' - нажаты.";

// Data transmission and reception over the line simulator differ only in the
// transmitting role.
class DataProcedure final : public TestRun {
 public:
  explicit DataProcedure(TUnitRole transmitter) : transmitter_(transmitter) {}

  void Body(ProcedureHost& host) override {
    if (!host.link().OpenDevice(urUnderTest))
      throw TestFailure(kCannotOpenDevice);
    if (!host.link().OpenDevice(urReference))
      throw TestFailure(kCannotOpenDevice);
    if (!host.Parameters().ShortTest) {
      host.ShowNotice(kPlainLineNotice);
      Pass(host, false);
      host.ShowNotice(kAttenuatedLineNotice);
    }
    Pass(host, true);
  }

  void AbortCleanup(ProcedureHost& host) override {
    WaitIdleEachIfOpen(host, {urUnderTest, urReference});
  }

 private:
  // Each format runs only if its box is checked when its step is reached.
  void Pass(ProcedureHost& host, bool attenuated) {
    if (host.Parameters().IDContact) {
      host.WriteLog("==Проверка формата ID Contact==");
      ExchangeDataMessages(host, transmitter_, fcContactID, attenuated);
    }
    if (host.Parameters().LowSpeed) {
      host.WriteLog("==Проверка формата Low Speed==");
      ExchangeDataMessages(host, transmitter_, fcLowSpeed, attenuated);
    }
    if (host.Parameters().Secsoa) {
      host.WriteLog("==Проверка формата Secsoa==");
      ExchangeDataMessages(host, transmitter_, fcSecsoa, attenuated);
    }
    if (host.Parameters().Korvex) {
      host.WriteLog("==Проверка формата Korvex==");
      ExchangeKorvexData(host, transmitter_);
    }
    if (host.Parameters().Presto) {
      host.WriteLog("==Проверка формата Presto==");
      // Presto is not a line-level format: both passes run it unattenuated.
      ExchangeDataMessages(host, transmitter_, fcPresto, false);
    }
  }

  const TUnitRole transmitter_;
};

}  // namespace

std::unique_ptr<TestRun> MakeDataTransmissionProcedure() {
  return std::make_unique<DataProcedure>(urUnderTest);
}
std::unique_ptr<TestRun> MakeDataReceptionProcedure() {
  return std::make_unique<DataProcedure>(urReference);
}

}  // namespace vr512b
