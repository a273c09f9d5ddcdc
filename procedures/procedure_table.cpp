#include "procedures/procedure_table.h"

#include "procedures/data_procedure.h"
#include "procedures/functioning_procedure.h"
#include "procedures/indication_procedure.h"
#include "procedures/line_monitor.h"
#include "procedures/line_procedure.h"
#include "procedures/phone_line_procedure.h"
#include "procedures/sound_procedure.h"

namespace vr512b {

std::span<const TestProcedure> AllProcedures() {
  static const TestProcedure procedures[] = {
      {"func", "ActTestFunc", "BtTestFunc", "Функционирование",
       ">>>>>--Проверка функционирования--<<<<<", "STFunc", CheckAll::Always, false,
       MakeFunctioningProcedure},
      {"indic", "ActTestIndic", "BtTestIndic", "Индикация", ">>>>>--Проверка индикации--<<<<<",
       "STIndic", CheckAll::UnlessShortTest, false, MakeIndicationProcedure},
      {"sound", "ActTestSound", "BtTestSound", "Звук", ">>>>>----Проверка звука----<<<<<",
       "STSound", CheckAll::Always, false, MakeSoundProcedure},
      {"tr", "ActTestTR", "BtTestTR", "Передача данных", ">>>>>--Проверка передачи данных--<<<<<",
       "STTestTR", CheckAll::Always, false, MakeDataTransmissionProcedure},
      {"rx", "ActTestRX", "BtTestRX", "Прием данных", ">>>>>---Проверка приема данных---<<<<<",
       "STTestRX", CheckAll::Always, false, MakeDataReceptionProcedure},
      {"line", "ActTestLine", "BtTestLine", "Тест линии", ">>>>>-------Проверка линии-------<<<<<",
       "STTestLine", CheckAll::Always, false, MakeLineProcedure},
      {"trmess", "ActTestTRMess", "BtTestTRMess", "Передача сообщений",
       ">>>>>--Проверка передачи по тлф линии--<<<<<", "STTestTRMess", CheckAll::Always, false,
       MakeMessageTransmissionProcedure},
      {"rxmess", "ActTestRXMess", "BtTestRXMess", "Прием сообщений",
       ">>>>>--Проверка приема по тлф линии--<<<<<", "STTestRXMess", CheckAll::Always, false,
       MakeMessageReceptionProcedure},
      {"monitor", "ActRXLine", "BtRXLine", "Прием с линии",
       ">>>>>--Прием сообщений с линии --<<<<<", "", CheckAll::Never, true, MakeLineMonitor},
  };
  return procedures;
}

const TestProcedure* FindProcedure(std::string_view id) {
  for (const TestProcedure& procedure : AllProcedures()) {
    if (procedure.id == id)
      return &procedure;
  }
  return nullptr;
}

}  // namespace vr512b
