#include "procedures/line_monitor.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "common/cp1251.h"
#include "procedures/test_failure.h"

namespace vr512b {

namespace {

constexpr int kPassMs = 100;

class LineMonitor final : public TestRun {
 public:
  void Body(ProcedureHost& host) override {
    UnitSteps unit = host.unit();
    role_ = urUnderTest;
    if (!host.link().OpenDevice(urUnderTest)) {
      role_ = urReference;
      if (!host.link().OpenDevice(urReference)) {
        throw TestFailure("Не могу открыть ни одно устройство");
      }
    }
    unit.ClearUnit(role_);
    TConfigBlock config;
    unit.ReadConfig(role_, config);
    const TestParameterValues p = host.Parameters();
    config[cfgMode] = mdMonitor;
    config[cfgVolume] = kVolumeNormal;
    config[cfgFormatMask] = (p.IDContact ? fmContactID : 0) | (p.LowSpeed ? fmLowSpeed : 0) |
                            (p.Secsoa ? fmSecsoa : 0) | (p.Korvex ? fmKorvex : 0) |
                            (p.Presto ? fmPresto : 0);
    config[cfgOptions] = 0;
    config[cfgDialFlags] = dfNoDialToneCheck;
    unit.WriteConfig(role_, config);

    int received = 0;
    host.WriteLog("Готов");
    for (;;) {
      host.clock().Sleep(kPassMs);
      host.CheckAbort();
      if (unit.PollState(role_) & sfEvent) {
        TMessageBlock scratch;
        unit.ReadReply(role_, scratch);
      }
      TMessageBlock reply;
      unit.ReadReply(role_, reply);
      if (reply[0] == rtMessage) {
        PrintMessage(host, reply, received++);
      } else if (reply[0] == rtError) {
        char line[32];
        std::snprintf(line, sizeof line, "Ошибка %02d", static_cast<std::int8_t>(reply[1]));
        host.WriteLog(line);
      }
    }
  }

  // Puts the unit back to mode 0 and lets it finish, if it was opened at all.
  void AbortCleanup(ProcedureHost& host) override {
    if (!host.link().IsOpen(role_))
      return;
    UnitSteps unit = host.unit();
    TConfigBlock config;
    unit.ReadConfig(role_, config);
    config[cfgMode] = mdNormal;
    unit.WriteConfig(role_, config);
    unit.WaitIdle(role_);
  }

 private:
  static void PrintMessage(ProcedureHost& host, const TMessageBlock& reply, int count) {
    const std::uint8_t format = reply[1];
    const std::uint8_t* data = reply.data() + kMsgDataField;
    char head[48];
    std::snprintf(head, sizeof head, "Принял %02d, формат %02x", count, format);
    std::string line = head;
    // The monitor's rule goes by the exact code: up to 0x30 the data is text,
    // Presto's own code shows bytes, and any other code (Secsoa's 0x33
    // among them) only the line's head.
    if (format <= FormatFamily(fcSecsoa))
      line += ": " + FieldText(data, kMsgDataFieldSize);
    if (format == fcPresto) {
      const int count = std::min<int>(static_cast<std::int8_t>(data[0]), kMsgDataFieldSize);
      line += ": " + HexBytes(data, count);
    }
    host.WriteLog(line);
    if (format == fcPresto)
      DecodePrestoMessage(host, data);
  }

  TUnitRole role_ = urUnderTest;
};

}  // namespace

std::unique_ptr<TestRun> MakeLineMonitor() {
  return std::make_unique<LineMonitor>();
}

void DecodePrestoMessage(ProcedureHost& host, const std::uint8_t* data) {
  const int length = static_cast<std::int8_t>(data[0]);
  const int type = static_cast<std::int8_t>(data[1]);
  int size = 0;
  if (type == 1) {
    size = 6;
  } else if (type == 2) {
    size = 7;
  } else {
    host.WriteLog("Неизвестный тип сообщения");
    return;
  }
  // Entries never reach past the 24-byte data field, whatever the length says.
  int remaining = std::min(length - 2, kMsgDataFieldSize - 2);
  const std::uint8_t* entry = data + 2;
  while (remaining >= size) {
    std::string text;
    unsigned code = 0;
    unsigned number = 0;
    if (type == 1) {
      char id[8];
      std::snprintf(id, sizeof id, "%04X", static_cast<unsigned>(entry[0] | (entry[1] << 8)));
      text = std::string("ID=") + id;
      code = entry[2] | (entry[3] << 8);
      number = entry[4];
    } else {
      text = "СН=" + std::to_string(entry[0] | (entry[1] << 8) | (entry[2] << 16));
      code = entry[3] | (entry[4] << 8);
      number = entry[5];
    }
    text += " Msg=" + std::to_string(code) + " Num=" + std::to_string(number);
    host.WriteLog("  Сообщение: " + text);
    entry += size;
    remaining -= size;
  }
}

}  // namespace vr512b
