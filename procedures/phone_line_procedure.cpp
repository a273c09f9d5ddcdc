#include "procedures/phone_line_procedure.h"

#include "procedures/message_exchange.h"
#include "procedures/test_failure.h"

namespace vr512b {

namespace {

// Message transmission and reception over the telephone line differ only in
// the transmitting role.
class PhoneLineProcedure final : public TestRun {
 public:
  explicit PhoneLineProcedure(TUnitRole transmitter) : transmitter_(transmitter) {}

  void Body(ProcedureHost& host) override {
    if (!host.link().OpenDevice(urUnderTest))
      throw TestFailure(kCannotOpenDevice);
    if (!host.link().OpenDevice(urReference))
      throw TestFailure(kCannotOpenDevice);
    host.ShowNotice("Проверяемое и эталонное УПО должны быть подключены к телефонной линии.");
    Step(host, &TestParameterValues::IDContact, "==Проверка формата ID Contact==", fcContactID);
    Step(host, &TestParameterValues::LowSpeed, "==Проверка формата Low Speed==", fcLowSpeed);
    Step(host, &TestParameterValues::Secsoa, "==Проверка формата Secsoa==", fcSecsoa);
    Step(host, &TestParameterValues::Korvex, "==Проверка формата Korvex==", fcKorvex);
    Step(host, &TestParameterValues::Presto, "==Проверка формата Presto==", fcPresto);
  }

  void AbortCleanup(ProcedureHost& host) override {
    WaitIdleEachIfOpen(host, {urUnderTest, urReference});
  }

 private:
  void Step(ProcedureHost& host, bool TestParameterValues::*box, const char* line,
            std::uint8_t format) {
    if (!(host.Parameters().*box))
      return;
    host.WriteLog(line);
    ExchangeLineMessages(host, transmitter_, format);
  }

  const TUnitRole transmitter_;
};

}  // namespace

std::unique_ptr<TestRun> MakeMessageTransmissionProcedure() {
  return std::make_unique<PhoneLineProcedure>(urUnderTest);
}
std::unique_ptr<TestRun> MakeMessageReceptionProcedure() {
  return std::make_unique<PhoneLineProcedure>(urReference);
}

}  // namespace vr512b
