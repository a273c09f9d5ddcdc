#include "procedure_table.h"

#include "data_procedure.h"
#include "functioning_procedure.h"
#include "line_procedure.h"
#include "line_monitor.h"
#include "output_procedures.h"
#include "phone_line_procedure.h"

namespace vr512b {

const char* StatusCellName(StatusCell cell) {
  switch (cell) {
    case StatusCell::STFunc:
      return "STFunc";
    case StatusCell::STIndic:
      return "STIndic";
    case StatusCell::STSound:
      return "STSound";
    case StatusCell::STTestTR:
      return "STTestTR";
    case StatusCell::STTestRX:
      return "STTestRX";
    case StatusCell::STTestLine:
      return "STTestLine";
    case StatusCell::STTestTRMess:
      return "STTestTRMess";
    case StatusCell::STTestRXMess:
      return "STTestRXMess";
    case StatusCell::None:
      break;
  }
  return "";
}

const std::vector<TestProcedure>& AllProcedures() {
  static const std::vector<TestProcedure> procedures = {
      {"func", "ActTestFunc", "Функционирование", ">>>>>--Проверка функционирования--<<<<<",
       StatusCell::STFunc, MakeFunctioningTest},
      {"indic", "ActTestIndic", "Индикация", ">>>>>--Проверка индикации--<<<<<",
       StatusCell::STIndic, MakeIndicationTest},
      {"sound", "ActTestSound", "Звук", ">>>>>----Проверка звука----<<<<<", StatusCell::STSound,
       MakeSoundTest},
      {"tr", "ActTestTR", "Передача данных", ">>>>>--Проверка передачи данных--<<<<<",
       StatusCell::STTestTR, MakeDataTransmissionTest},
      {"rx", "ActTestRX", "Прием данных", ">>>>>---Проверка приема данных---<<<<<",
       StatusCell::STTestRX, MakeDataReceptionTest},
      {"line", "ActTestLine", "Тест линии", ">>>>>-------Проверка линии-------<<<<<",
       StatusCell::STTestLine, MakeLineTest},
      {"trmess", "ActTestTRMess", "Передача сообщений",
       ">>>>>--Проверка передачи по тлф линии--<<<<<", StatusCell::STTestTRMess,
       MakeMessageTransmissionTest},
      {"rxmess", "ActTestRXMess", "Прием сообщений", ">>>>>--Проверка приема по тлф линии--<<<<<",
       StatusCell::STTestRXMess, MakeMessageReceptionTest},
      {"monitor", "ActRXLine", "Прием с линии", ">>>>>--Прием сообщений с линии --<<<<<",
       StatusCell::None, MakeLineMonitor},
  };
  return procedures;
}

const TestProcedure* FindProcedure(const std::string& id) {
  for (const TestProcedure& procedure : AllProcedures()) {
    if (procedure.id == id)
      return &procedure;
  }
  return nullptr;
}

}  // namespace vr512b
