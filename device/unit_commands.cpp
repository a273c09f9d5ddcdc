#include "device/unit_commands.h"

#include <cstdio>
#include <cstring>

#include "common/text.h"
#include "device/system_error.h"

namespace vr512b {

const char* ErrorPrefix(TUnitRole role) {
  return role == urReference ? "Эталонное: " : "Проверяемое: ";
}

const char* GenitiveWord(TUnitRole role) {
  return role == urReference ? "эталонного" : "проверяемого";
}

ErrorReason UnitCommands::ExchangeFailed(TUnitRole role, const ErrorReason& reason) {
  log_.WriteLog(ErrorPrefix(role) + reason.text);
  return reason;
}

ErrorReason UnitCommands::CommandFailed(const std::string& line) {
  log_.WriteLog(line);
  return ErrorReason{0, line};
}

Outcome<void> UnitCommands::SendCommand(TUnitRole role, std::uint8_t opcode, std::uint8_t param1,
                                        std::uint8_t param2) {
  if (Outcome<void> done = reports_.SendShortCommand(Handle(role), opcode, param1, param2); !done)
    return ExchangeFailed(role, done.reason());
  return {};
}

Outcome<void> UnitCommands::WriteMessage(TUnitRole role, const TMessageBlock& block) {
  if (Outcome<void> done = reports_.SetMessageReport(Handle(role), block); !done)
    return ExchangeFailed(role, done.reason());
  return {};
}

Outcome<void> UnitCommands::WriteConfig(TUnitRole role, const TConfigBlock& block) {
  log_.WriteLog(std::string("Запись конфигурации ") + GenitiveWord(role));
  if (Outcome<void> done = reports_.SetConfigReport(Handle(role), block); !done)
    return ExchangeFailed(role, done.reason());
  return {};
}

Outcome<void> UnitCommands::ReadConfig(TUnitRole role, TConfigBlock& block) {
  log_.WriteLog(std::string("чтение конфигурации ") + GenitiveWord(role));
  if (Outcome<void> done = reports_.GetConfigReport(Handle(role), block); !done)
    return ExchangeFailed(role, done.reason());
  return {};
}

Outcome<void> UnitCommands::ClearUnit(TUnitRole role) {
  log_.WriteLog(std::string("Очистка ") + GenitiveWord(role));
  if (Outcome<void> done = reports_.SendShortCommand(Handle(role), OpClear, 0, 0); !done)
    return ExchangeFailed(role, done.reason());
  clock_.Sleep(kClearPauseMs);
  return {};
}

Outcome<void> UnitCommands::ClearRegisters(TUnitRole role) {
  log_.WriteLog(std::string("Очистка регистров ") + GenitiveWord(role));
  if (Outcome<void> done = reports_.SendShortCommand(Handle(role), OpClearRegisters, 0, 0); !done)
    return ExchangeFailed(role, done.reason());
  clock_.Sleep(kClearPauseMs);
  return {};
}

Outcome<void> UnitCommands::ReadReply(TUnitRole role, TMessageBlock& reply) {
  if (Outcome<void> done = reports_.GetMessageReport(Handle(role), reply); !done)
    return ExchangeFailed(role, done.reason());
  switch (reply[0]) {
    case rtEvent:
      LogEvent(role, reply[1]);
      return {};
    case rtError:
      log_.WriteLog("Ошибка: " + ErrorText(static_cast<std::int8_t>(reply[1])));
      return {};
    case rtNone:
    case rtMessage:
      return {};
    default:
      return CommandFailed("Неизвестный ответ " +
                           std::to_string(static_cast<std::int8_t>(reply[0])));
  }
}

Outcome<std::uint8_t> UnitCommands::ReadState(TUnitRole role, int* received, int* sent) {
  log_.WriteLog(std::string("Читаю состояние ") + GenitiveWord(role));
  TStatusBlock status;
  if (Outcome<void> done = reports_.GetStatusReport(Handle(role), status); !done)
    return ExchangeFailed(role, done.reason());
  if (received) {
    *received = status[kStatusReceivedCount];
    log_.WriteLog("Принятых сообщений: " + std::to_string(*received));
  }
  if (sent) {
    *sent = status[kStatusSentCount];
    log_.WriteLog("Переданных сообщений: " + std::to_string(*sent));
  }
  log_.WriteLog(StateLine(status[kStatusStateFlags]));
  return status[kStatusStateFlags];
}

Outcome<std::uint8_t> UnitCommands::PollState(TUnitRole role, int* received) {
  TStatusBlock status;
  if (Outcome<void> done = reports_.GetStatusReport(Handle(role), status); !done)
    return ExchangeFailed(role, done.reason());
  if (received)
    *received = status[kStatusReceivedCount];
  return status[kStatusStateFlags];
}

Outcome<void> UnitCommands::WaitIdle(TUnitRole role) {
  log_.WriteLog(std::string("Жду завершения операции ") + GenitiveWord(role));
  const std::int64_t deadline = clock_.NowMs() + kWaitIdleLimitMs;
  for (;;) {
    const Outcome<std::uint8_t> flags = PollState(role);
    if (!flags)
      return flags.reason();
    if (*flags & sfEvent) {
      TMessageBlock scratch;
      if (Outcome<void> read = ReadReply(role, scratch); !read)
        return read;
    }
    if ((*flags & kBusyMask) == 0)
      return {};
    if (clock_.NowMs() >= deadline)
      return CommandFailed(std::string(role == urReference ? "Эталонное" : "Проверяемое") +
                           " УПО не завершило операцию за " +
                           std::to_string(kWaitIdleLimitMs / 1000) + " с");
  }
}

void UnitCommands::LogEvent(TUnitRole role, std::uint8_t code) {
  log_.WriteLog(std::string("Событие ") +
                (role == urReference ? "эталонного: " : "проверяемого: ") +
                EventText(static_cast<std::int8_t>(code)));
}

void UnitCommands::FillRandom(std::uint8_t* buffer, int count) {
  for (int i = 0; i < count; ++i)
    buffer[i] = random_.Next();
}

std::string EventText(std::int8_t code) {
  switch (code) {
    case evReset:
      return "сброс";
    case evPowerOn:
    case evPowerOnToo:
      return "включение питания";
    case evButtonReset:
    case evButtonResetToo:
      return "сброс кнопкой";
    case evPowerDeviation:
      return "отклонение питания";
    case evWatchdog:
      return "WDT";
    case evNoLineVoltage:
      return "нет ULine";
    case evNoDialTone:
      return "нет вызывного тона";
    case evLineVoltageBack:
      return "восстановление ULine";
    case evDialToneBack:
      return "восстановление вызывного тона";
    case evTransmitted:
      return "передача завершена ОК";
    case evTransmitNoDialTone:
      return "передача завершена - нет вызывного тона";
    case evTransmitNoAnswer:
      return "передача завершена - нет ответа";
    case evTransmitNoAcknowledge:
      return "передача завершена - нет подтверждения";
    case evTransmitBadMessage:
      return "передача завершена - ош в сообщении";
    case evTransmitBadNumber:
      return "передача завершена - ош в номере";
    case evTransmitBadAnswer:
      return "передача завершена - недопустимый ответ";
    case evUsbTimeout:
      return "таймаут USB";
    default:
      return "неизвестное событие " + std::to_string(code);
  }
}

std::string ErrorText(std::int8_t code) {
  switch (code) {
    case 6:
      return "вызываемый не отвечает";
    case 7:
      return "нет подтверждения передачи";
    case 8:
      return "ошибка в передаваемом сооб";
    case 9:
      return "недопустиый символ в номере";
    case 10:
      return "недопустиый ответ";
    case 11:
      return "слишком длинный пакет";
    case 12:
      return "ошибка  контрольной  суммы  (КС)";
    case 13:
      return "прием пакета не закончен (обрыв пакета)";
    case 14:
      return "шумы при приеме";
    case 15:
      return "несовпадение с контрольным пакетом";
    case 16:
      return "неизвестный формат";
    case 20:
      return "нет ответа абонента";
    case 40:
      return "нет вызывного тона (неисправность линии)";
    case 42:
      return "нет линейного напряжения (неисправность линии)";
    default:
      return "неизвестная ошибка";
  }
}

std::string StateLine(std::uint8_t flags) {
  static constexpr const char* kWords[8] = {" отвечатель,", " вызыватель,", " телефон,",
                                            " тест линии,", " событие,",    " отказ линии,",
                                            " вызов,",      " на линии,"};
  std::string line = "Состояние:";
  for (int bit = 0; bit < 8; ++bit) {
    if (flags & (1u << bit))
      line += kWords[bit];
  }
  if (flags == 0)
    line += " отсутствует ";
  line.pop_back();
  return line;
}

std::string HexBytes(const std::uint8_t* data, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i)
      text += ' ';
    AppendHexByte(text, data[i]);
  }
  return text;
}

void BuildTestMessage(TMessageBlock& block, int n) {
  block.fill(0);
  block[0] = mcTestMessage;
  block[1] = static_cast<std::uint8_t>(n % 3 + 17);
  char d[16];
  std::snprintf(d, sizeof d, "%03d", n);
  const std::string a = std::string(d) + d + "7";
  std::string b;
  for (int i = 0; i < 6; ++i)
    b += d;
  std::memcpy(block.data() + 2, a.c_str(), a.size() + 1);
  std::memcpy(block.data() + kMsgDataField, b.c_str(), b.size() + 1);
}

}  // namespace vr512b
