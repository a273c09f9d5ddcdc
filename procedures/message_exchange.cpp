#include "message_exchange.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "cp1251.h"
#include "message_tables.h"
#include "test_failure.h"
#include "text.h"

namespace vr512b {

namespace {

constexpr int kDataPassMs = 100;
constexpr int kLinePassMs = 200;
constexpr int kKorvexHandOverMs = 300;
constexpr int kLineHandOverMs = 50;

TUnitRole Other(TUnitRole role) {
  return role == urUnderTest ? urReference : urUnderTest;
}
std::uint8_t Family(std::uint8_t format) {
  return format & 0xF0;
}

[[noreturn]] void Fail(ProcedureHost& host, const char* text) {
  host.WriteLog(text);
  throw TestFailure(text);
}

std::string Numbered(const char* format, int n) {
  char text[64];
  std::snprintf(text, sizeof text, format, n);
  return text;
}

// The data field of a reply is 24 bytes; neither a missing terminator nor a
// large length byte may take the text or the dump past it.
std::string DataText(const TMessageBlock& reply) {
  return FieldText(reply.data() + kMsgDataField, kMsgDataFieldSize);
}
std::string DataDump(const TMessageBlock& reply) {
  const int count = static_cast<std::int8_t>(reply[kMsgDataField]);
  return HexBytes(reply.data() + kMsgDataField, std::min(count, kMsgDataFieldSize));
}
bool DataDiffers(const TMessageBlock& reply, const void* expected, int count) {
  return std::memcmp(reply.data() + kMsgDataField, expected, count) != 0;
}

// A message that arrives when the whole series has been received has no table
// row to be compared with.
void RequireRowFor(ProcedureHost& host, int received, int total) {
  if (received >= total)
    Fail(host, "Принято лишнее сообщение");
}

class Exchange {
 public:
  Exchange(ProcedureHost& host, TUnitRole transmitter)
      : host_(host), unit_(host.unit()), transmitter_(transmitter), receiver_(Other(transmitter)) {}

  // Clears both units and writes their configuration; configure() changes the
  // blocks as read, unit under test first.
  template <typename Configure>
  void Prepare(Configure configure) {
    unit_.ClearUnit(urUnderTest);
    unit_.ClearUnit(urReference);
    host_.WriteLog("Подготавливаю передачу и прием");
    TConfigBlock underTest;
    TConfigBlock reference;
    unit_.ReadConfig(urUnderTest, underTest);
    unit_.ReadConfig(urReference, reference);
    const TestParameterValues p = host_.Parameters();
    configure(urUnderTest, underTest, p.Sound);
    configure(urReference, reference, p.SoundSample);
    unit_.WriteConfig(urUnderTest, underTest);
    unit_.WriteConfig(urReference, reference);
  }

  std::uint8_t CheckTransmitter() {
    std::uint8_t flags = unit_.PollState(transmitter_);
    if (flags & sfEvent) {
      TMessageBlock event;
      unit_.ReadReply(transmitter_, event);
      if (event[1] >= 0x41 && event[1] <= 0x4F)
        Fail(host_, "Ошибка передачи");
      flags = unit_.PollState(transmitter_);
    }
    return flags;
  }

  void Finish() {
    try {
      unit_.SendCommand(urUnderTest, OpHangUp, 0, 0);
      unit_.SendCommand(urReference, OpHangUp, 0, 0);
    } catch (const TestFailure&) {
    }
    unit_.WaitIdle(urUnderTest);
    unit_.WaitIdle(urReference);
    unit_.ClearUnit(urUnderTest);
    unit_.ClearUnit(urReference);
  }

  void Answer() {
    if (answerSent_)
      return;
    unit_.SendCommand(receiver_, OpAnswer, 0, 0);
    answerSent_ = true;
  }

  ProcedureHost& host_;
  UnitCommands& unit_;
  const TUnitRole transmitter_;
  const TUnitRole receiver_;
  int sent_ = 0;
  int received_ = 0;
  bool answerSent_ = false;
};

std::uint8_t SoundVolume(bool on) {
  return on ? 127 : 0;
}

}  // namespace

void ExchangeDataMessages(ProcedureHost& host, TUnitRole transmitter, std::uint8_t format,
                          bool attenuated) {
  Exchange x(host, transmitter);
  x.Prepare([&](TUnitRole, TConfigBlock& c, bool sound) {
    c[cfgMode] = 0;
    c[cfgVolume] = SoundVolume(sound);
    c[cfgFormatMask] = 0xCF;
    c[cfgOptions] |= 0x40;
    if (attenuated)
      c[6] = c[7] = 7;
    c[cfgDialFlags] = 2;
  });
  const std::uint8_t family = Family(format);
  const int total = (family == 0x10 || family == 0x50) ? 30 : 10;

  for (;;) {
    host.clock().Sleep(kDataPassMs);
    host.CheckAbort();
    const std::uint8_t flags = x.CheckTransmitter();

    if (!(flags & sfOnLine) && x.sent_ < total) {
      TMessageBlock record{};
      std::string line = Numbered("Передал сообщение %02d", x.sent_) + ": ";
      std::uint8_t* data = record.data() + kMsgDataField;
      if (family == 0x10) {
        std::memcpy(data, TestMsgIDContact[x.sent_].data(), kContactIdTextLength + 1);
        line += TestMsgIDContact[x.sent_].data();
      } else if (family == 0x20 || family == 0x30) {
        std::memcpy(data, TestMsgShort[x.sent_].data(), kShortTextLength + 1);
        line += TestMsgShort[x.sent_].data();
      } else if (family == 0x50) {
        std::memcpy(data, TestMsgPresto[x.sent_].data(), kPrestoLength);
        line += HexBytes(data, static_cast<std::int8_t>(data[0]));
      } else {
        throw TestFailure("Неизвестный формат");
      }
      record[1] = format;
      record[0] = mcTransmit;
      x.unit_.WriteMessage(transmitter, record);
      host.WriteLog(line);
      ++x.sent_;
    }
    if (!(flags & sfCaller) && x.sent_ >= 2 && x.sent_ < total) {
      Fail(host, "Потеря соединения передающим");
    }
    x.Answer();

    TMessageBlock reply;
    x.unit_.ReadReply(x.receiver_, reply);
    if (reply[0] == rtMessage) {
      std::string line = Numbered("Принял  сообщение %02d", x.received_) + ": ";
      line += family > 0x30 ? DataDump(reply) : DataText(reply);
      host.WriteLog(line);
      if (reply[1] != format)
        Fail(host, "Принят неверный формат");
      RequireRowFor(host, x.received_, total);
      bool differs = false;
      if (family == 0x10) {
        differs = DataDiffers(reply, TestMsgIDContact[x.received_].data(), kContactIdTextLength);
      } else if (family == 0x20 || family == 0x30) {
        differs = DataDiffers(reply, TestMsgShort[x.received_].data(), kShortTextLength);
      } else {
        differs = DataDiffers(reply, TestMsgPresto[x.received_].data(), kPrestoLength);
      }
      if (differs)
        Fail(host, "Ошибка в принятых данных");
      ++x.received_;
    }

    if (x.sent_ >= total && x.received_ >= total) {
      x.Finish();
      return;
    }
    std::uint8_t receiverFlags = x.unit_.PollState(x.receiver_);
    if (receiverFlags & sfEvent) {
      TMessageBlock scratch;
      x.unit_.ReadReply(x.receiver_, scratch);
      receiverFlags = x.unit_.PollState(x.receiver_);
    }
    if (!(receiverFlags & sfAnswerer))
      Fail(host, "Потеря соединения принимающим");
  }
}

void ExchangeKorvexData(ProcedureHost& host, TUnitRole transmitter) {
  Exchange x(host, transmitter);
  x.Prepare([&](TUnitRole, TConfigBlock& c, bool sound) {
    c[cfgMode] = 0;
    c[cfgVolume] = SoundVolume(sound);
    c[cfgFormatMask] = 0x30;
    c[cfgOptions] = 0x80;
    c[cfgDialFlags] = 2;
  });
  constexpr int total = 30;

  for (;;) {
    host.clock().Sleep(kDataPassMs);
    host.CheckAbort();
    const std::uint8_t flags = x.CheckTransmitter();
    if (!(flags & sfOnLine) && x.sent_ < total) {
      TMessageBlock record{};
      x.unit_.FillRandom(record.data() + kMsgDataField, kKorvexLength);
      record[kMsgDataField] = 0x98;
      record[1] = fcKorvex;
      record[0] = mcTransmit;
      x.unit_.WriteMessage(transmitter, record);
      host.WriteLog("Передал сообщение " + std::to_string(x.sent_));
      ++x.sent_;
      host.clock().Sleep(kKorvexHandOverMs);
      continue;
    }
    if (!(flags & sfCaller) && x.sent_ >= 1 && x.sent_ < total) {
      Fail(host, "Потеря соединения передающим");
    }
    x.Answer();
    if (x.sent_ >= total) {
      x.Finish();
      return;
    }
  }
}

void ExchangeLineMessages(ProcedureHost& host, TUnitRole transmitter, std::uint8_t format) {
  Exchange x(host, transmitter);
  x.Prepare([&](TUnitRole role, TConfigBlock& c, bool sound) {
    c[cfgMode] = role == transmitter ? 0 : 5;
    c[cfgVolume] = SoundVolume(sound);
    c[cfgFormatMask] = 0xFF;
    if (host.Parameters().CBNoTone)
      c[cfgDialFlags] = 2;
  });
  const std::uint8_t family = Family(format);
  const int total = family == 0x10 ? 30 : 10;

  for (;;) {
    host.clock().Sleep(kLinePassMs);
    host.CheckAbort();
    const std::uint8_t flags = x.CheckTransmitter();

    if (!(flags & sfOnLine) && x.sent_ < total) {
      TMessageBlock record{};
      std::uint8_t* data = record.data() + kMsgDataField;
      std::string suffix;
      const TestParameterValues p = host.Parameters();
      if (family == 0x10) {
        std::memcpy(data, TestMsgIDContact[x.sent_].data(), kContactIdTextLength + 1);
        suffix = std::string(": ") + TestMsgIDContact[x.sent_].data();
      } else if (family == 0x20 || family == 0x30) {
        std::memcpy(data, TestMsgShort[x.sent_].data(), kShortTextLength + 1);
        suffix = std::string(": ") + TestMsgShort[x.sent_].data();
      } else if (family == 0x40) {
        const auto& korvex = p.KorvexTestMsg ? TestMsgKorvexTest : TestMsgKorvex;
        std::memcpy(data, korvex.data(), kKorvexLength);
      } else if (family == 0x50) {
        std::memcpy(data, TestMsgPresto[x.sent_].data(), kPrestoLength);
      } else {
        throw TestFailure("Неизвестный формат");
      }
      const std::string number =
          TrimBlanksAndControls(transmitter == urReference ? p.Phone : p.PhoneSample);
      std::memcpy(record.data() + kMsgNumberField, number.data(),
                  std::min<std::size_t>(number.size(), 14));
      record[1] = format;
      record[0] = mcTransmit;
      x.unit_.WriteMessage(transmitter, record);
      host.WriteLog("Передал сообщение " + std::to_string(x.sent_) + suffix);
      host.clock().Sleep(kLineHandOverMs);
      ++x.sent_;
      continue;
    }
    if (!(flags & sfCaller) && x.sent_ >= 1 && x.sent_ < total) {
      Fail(host, "Потеря соединения передающим");
    }

    TMessageBlock reply;
    x.unit_.ReadReply(x.receiver_, reply);
    if (reply[0] == rtMessage) {
      if (x.received_ == 0) {
        const std::string caller = FieldText(reply.data() + kMsgNumberField, kMsgNumberFieldSize);
        host.WriteLog(caller.empty() ? "!!!Номер не определен!!!" : "!!!Номер: " + caller + " !!!");
      }
      if (reply[1] != format)
        Fail(host, "Неверный формат");
      RequireRowFor(host, x.received_, total);
      std::string suffix;
      bool mismatch = false;
      if (family == 0x10) {
        mismatch = DataDiffers(reply, TestMsgIDContact[x.received_].data(), kContactIdTextLength);
        suffix = ": " + DataText(reply);
      } else if (family == 0x20 || family == 0x30) {
        mismatch = DataDiffers(reply, TestMsgShort[x.received_].data(), kShortTextLength);
        suffix = ": " + DataText(reply);
      } else if (family == 0x50) {
        mismatch = DataDiffers(reply, TestMsgPresto[x.received_].data(), kPrestoLength);
      } else if (family != 0x40) {
        throw TestFailure("Неизвестный формат");
      }
      host.WriteLog("Принял  сообщение " + std::to_string(x.received_) + suffix);
      if (mismatch)
        Fail(host, "Ошибка в данных");
      ++x.received_;
    } else if (reply[0] != rtNone) {
      throw TestFailure("Ошибка приема");
    }

    if (x.sent_ >= total && (x.received_ >= total || x.received_ == 0)) {
      x.Finish();
      return;
    }
    const std::uint8_t receiverFlags = x.unit_.PollState(x.receiver_);
    if (!(receiverFlags & sfAnswerer) && x.received_ >= 1 && x.received_ < total) {
      Fail(host, "Потеря соединения принимающим");
    }
  }
}

}  // namespace vr512b
