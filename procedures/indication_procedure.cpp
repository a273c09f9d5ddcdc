#include "procedures/indication_procedure.h"

#include <cstring>

#include "procedures/output_procedure.h"
#include "procedures/test_failure.h"

namespace vr512b {

namespace {

TMessageBlock DisplayBlock(const char* text) {
  TMessageBlock block{};
  block[0] = mcDisplayText;
  std::memcpy(block.data() + kMsgDataField, text, std::strlen(text) + 1);
  return block;
}

class IndicationProcedure final : public OutputProcedure {
 public:
  void Body(ProcedureHost& host) override {
    UnitSteps unit = host.unit();
    Open(host);
    TConfigBlock config;
    unit.ReadConfig(urUnderTest, config);
    config[cfgMode] = mdNormal;
    unit.WriteConfig(urUnderTest, config);
    TMessageBlock reply;
    unit.ReadReply(urUnderTest, reply);

    host.WriteLog("Вывожу на дисплей");
    unit.WriteMessage(urUnderTest, DisplayBlock("The Test Message"));
    const bool shown = host.AskYesNo(
        "На дисплей проверяемого УПО выведено сообщение 'The Test Message', горит индикатор "
        "'Компьютер'. Верно?");
    unit.WriteMessage(urUnderTest, DisplayBlock(""));
    if (!shown)
      throw TestFailure("Неверная индикация");

    const bool lit = AnswerAndAsk(host, config,
                                  "Горят индикаторы 'Линия' и 'Компьютер' проверяемого УПО "
                                  "(индикатор 'Линия' горит около 10с).  Верно?",
                                  0);
    if (!lit)
      throw TestFailure("Неверная индикация");
  }
};

}  // namespace

std::unique_ptr<TestRun> MakeIndicationProcedure() {
  return std::make_unique<IndicationProcedure>();
}

}  // namespace vr512b
