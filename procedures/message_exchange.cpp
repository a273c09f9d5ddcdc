#include "procedures/message_exchange.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/cp1251.h"
#include "common/text.h"
#include "procedures/message_tables.h"
#include "procedures/test_failure.h"

namespace vr512b {

namespace {

constexpr int kDataPassMs = 100;
constexpr int kLinePassMs = 200;
constexpr int kKorvexHandOverMs = 300;
constexpr int kLineHandOverMs = 50;
// Messages in a series: the whole table for Contact ID and Presto (and the
// Korvex data exchange), ten of the short formats.
constexpr int kLongSeries = 30;
constexpr int kShortSeries = 10;

// Low Speed and Secsoa carry the same short texts.
bool IsShortTextFamily(std::uint8_t family) {
  return family == FormatFamily(fcLowSpeed) || family == FormatFamily(fcSecsoa);
}

TUnitRole Other(TUnitRole role) {
  return role == urUnderTest ? urReference : urUnderTest;
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
      if (event[1] >= evTransmitFailedFirst && event[1] <= evTransmitFailedLast)
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

  // Messages the transmitter has been given, and those the receiver has read.
  int Sent() const { return sent_; }
  int Received() const { return received_; }
  void CountSent() { ++sent_; }
  void CountReceived() { ++received_; }
  TUnitRole Receiver() const { return receiver_; }

 private:
  ProcedureHost& host_;
  UnitSteps unit_;
  const TUnitRole transmitter_;
  const TUnitRole receiver_;
  int sent_ = 0;
  int received_ = 0;
  bool answerSent_ = false;
};

std::uint8_t SoundVolume(bool on) {
  return on ? kVolumeNormal : kVolumeSilent;
}

}  // namespace

void ExchangeDataMessages(ProcedureHost& host, TUnitRole transmitter, std::uint8_t format,
                          bool attenuated) {
  Exchange x(host, transmitter);
  x.Prepare([&](TUnitRole, TConfigBlock& c, bool sound) {
    c[cfgMode] = mdNormal;
    c[cfgVolume] = SoundVolume(sound);
    c[cfgFormatMask] = fmAllButKorvex;
    c[cfgOptions] |= optTextAndPrestoExchange;
    if (attenuated)
      c[cfgLineLevelA] = c[cfgLineLevelB] = kAttenuatedLineLevel;
    c[cfgDialFlags] = dfNoDialToneCheck;
  });
  const std::uint8_t family = FormatFamily(format);
  const int total = (family == FormatFamily(fcContactID) || family == FormatFamily(fcPresto))
                        ? kLongSeries
                        : kShortSeries;

  for (;;) {
    host.clock().Sleep(kDataPassMs);
    host.CheckAbort();
    const std::uint8_t flags = x.CheckTransmitter();

    if (!(flags & sfOnLine) && x.Sent() < total) {
      TMessageBlock record{};
      std::string line = Numbered("Передал сообщение %02d", x.Sent()) + ": ";
      std::uint8_t* data = record.data() + kMsgDataField;
      if (family == FormatFamily(fcContactID)) {
        std::memcpy(data, TestMsgIDContact[x.Sent()].data(), kContactIdTextLength + 1);
        line += TestMsgIDContact[x.Sent()].data();
      } else if (IsShortTextFamily(family)) {
        std::memcpy(data, TestMsgShort[x.Sent()].data(), kShortTextLength + 1);
        line += TestMsgShort[x.Sent()].data();
      } else if (family == FormatFamily(fcPresto)) {
        std::memcpy(data, TestMsgPresto[x.Sent()].data(), kPrestoLength);
        line += HexBytes(data, static_cast<std::int8_t>(data[0]));
      } else {
        throw TestFailure("Неизвестный формат");
      }
      record[1] = format;
      record[0] = mcTransmit;
      host.unit().WriteMessage(transmitter, record);
      host.WriteLog(line);
      x.CountSent();
    }
    if (!(flags & sfCaller) && x.Sent() >= 2 && x.Sent() < total) {
      Fail(host, "Потеря соединения передающим");
    }
    x.Answer();

    TMessageBlock reply;
    host.unit().ReadReply(x.Receiver(), reply);
    if (reply[0] == rtMessage) {
      std::string line = Numbered("Принял  сообщение %02d", x.Received()) + ": ";
      line += family > FormatFamily(fcSecsoa) ? DataDump(reply) : DataText(reply);
      host.WriteLog(line);
      if (reply[1] != format)
        Fail(host, "Принят неверный формат");
      RequireRowFor(host, x.Received(), total);
      bool differs = false;
      if (family == FormatFamily(fcContactID)) {
        differs = DataDiffers(reply, TestMsgIDContact[x.Received()].data(), kContactIdTextLength);
      } else if (IsShortTextFamily(family)) {
        differs = DataDiffers(reply, TestMsgShort[x.Received()].data(), kShortTextLength);
      } else {
        differs = DataDiffers(reply, TestMsgPresto[x.Received()].data(), kPrestoLength);
      }
      if (differs)
        Fail(host, "Ошибка в принятых данных");
      x.CountReceived();
    }

    if (x.Sent() >= total && x.Received() >= total) {
      x.Finish();
      return;
    }
    std::uint8_t receiverFlags = host.unit().PollState(x.Receiver());
    if (receiverFlags & sfEvent) {
      TMessageBlock scratch;
      host.unit().ReadReply(x.Receiver(), scratch);
      receiverFlags = host.unit().PollState(x.Receiver());
    }
    if (!(receiverFlags & sfAnswerer))
      Fail(host, "Потеря соединения принимающим");
  }
}

void ExchangeKorvexData(ProcedureHost& host, TUnitRole transmitter) {
  Exchange x(host, transmitter);
  x.Prepare([&](TUnitRole, TConfigBlock& c, bool sound) {
    c[cfgMode] = mdNormal;
    c[cfgVolume] = SoundVolume(sound);
    c[cfgFormatMask] = fmKorvex;
    c[cfgOptions] = optKorvexExchange;
    c[cfgDialFlags] = dfNoDialToneCheck;
  });
  constexpr int total = kLongSeries;

  for (;;) {
    host.clock().Sleep(kDataPassMs);
    host.CheckAbort();
    const std::uint8_t flags = x.CheckTransmitter();
    if (!(flags & sfOnLine) && x.Sent() < total) {
      TMessageBlock record{};
      host.unit().FillRandom(record.data() + kMsgDataField, kKorvexLength);
      // Random data sent as a Korvex test message.
      record[kMsgDataField] = TestMsgKorvexTest[0];
      record[1] = fcKorvex;
      record[0] = mcTransmit;
      host.unit().WriteMessage(transmitter, record);
      host.WriteLog("Передал сообщение " + std::to_string(x.Sent()));
      x.CountSent();
      host.clock().Sleep(kKorvexHandOverMs);
      continue;
    }
    if (!(flags & sfCaller) && x.Sent() >= 1 && x.Sent() < total) {
      Fail(host, "Потеря соединения передающим");
    }
    x.Answer();
    if (x.Sent() >= total) {
      x.Finish();
      return;
    }
  }
}

void ExchangeLineMessages(ProcedureHost& host, TUnitRole transmitter, std::uint8_t format) {
  Exchange x(host, transmitter);
  x.Prepare([&](TUnitRole role, TConfigBlock& c, bool sound) {
    c[cfgMode] = role == transmitter ? mdNormal : mdAnswerCalls;
    c[cfgVolume] = SoundVolume(sound);
    c[cfgFormatMask] = fmAll;
    if (host.Parameters().CBNoTone)
      c[cfgDialFlags] = dfNoDialToneCheck;
  });
  const std::uint8_t family = FormatFamily(format);
  const int total = family == FormatFamily(fcContactID) ? kLongSeries : kShortSeries;

  for (;;) {
    host.clock().Sleep(kLinePassMs);
    host.CheckAbort();
    const std::uint8_t flags = x.CheckTransmitter();

    if (!(flags & sfOnLine) && x.Sent() < total) {
      TMessageBlock record{};
      std::uint8_t* data = record.data() + kMsgDataField;
      std::string suffix;
      const TestParameterValues p = host.Parameters();
      if (family == FormatFamily(fcContactID)) {
        std::memcpy(data, TestMsgIDContact[x.Sent()].data(), kContactIdTextLength + 1);
        suffix = std::string(": ") + TestMsgIDContact[x.Sent()].data();
      } else if (IsShortTextFamily(family)) {
        std::memcpy(data, TestMsgShort[x.Sent()].data(), kShortTextLength + 1);
        suffix = std::string(": ") + TestMsgShort[x.Sent()].data();
      } else if (family == FormatFamily(fcKorvex)) {
        const auto& korvex = p.KorvexTestMsg ? TestMsgKorvexTest : TestMsgKorvex;
        std::memcpy(data, korvex.data(), kKorvexLength);
      } else if (family == FormatFamily(fcPresto)) {
        std::memcpy(data, TestMsgPresto[x.Sent()].data(), kPrestoLength);
      } else {
        throw TestFailure("Неизвестный формат");
      }
      const std::string number =
          TrimBlanksAndControls(transmitter == urReference ? p.Phone : p.PhoneSample);
      std::memcpy(record.data() + kMsgNumberField, number.data(),
                  std::min<std::size_t>(number.size(), kMsgNumberMaxDigits));
      record[1] = format;
      record[0] = mcTransmit;
      host.unit().WriteMessage(transmitter, record);
      host.WriteLog("Передал сообщение " + std::to_string(x.Sent()) + suffix);
      host.clock().Sleep(kLineHandOverMs);
      x.CountSent();
      continue;
    }
    if (!(flags & sfCaller) && x.Sent() >= 1 && x.Sent() < total) {
      Fail(host, "Потеря соединения передающим");
    }

    TMessageBlock reply;
    host.unit().ReadReply(x.Receiver(), reply);
    if (reply[0] == rtMessage) {
      if (x.Received() == 0) {
        const std::string caller = FieldText(reply.data() + kMsgNumberField, kMsgNumberFieldSize);
        host.WriteLog(caller.empty() ? "!!!Номер не определен!!!" : "!!!Номер: " + caller + " !!!");
      }
      if (reply[1] != format)
        Fail(host, "Неверный формат");
      RequireRowFor(host, x.Received(), total);
      std::string suffix;
      bool mismatch = false;
      if (family == FormatFamily(fcContactID)) {
        mismatch = DataDiffers(reply, TestMsgIDContact[x.Received()].data(), kContactIdTextLength);
        suffix = ": " + DataText(reply);
      } else if (IsShortTextFamily(family)) {
        mismatch = DataDiffers(reply, TestMsgShort[x.Received()].data(), kShortTextLength);
        suffix = ": " + DataText(reply);
      } else if (family == FormatFamily(fcPresto)) {
        mismatch = DataDiffers(reply, TestMsgPresto[x.Received()].data(), kPrestoLength);
      } else if (family != FormatFamily(fcKorvex)) {
        throw TestFailure("Неизвестный формат");
      }
      host.WriteLog("Принял  сообщение " + std::to_string(x.Received()) + suffix);
      if (mismatch)
        Fail(host, "Ошибка в данных");
      x.CountReceived();
    } else if (reply[0] != rtNone) {
      throw TestFailure("Ошибка приема");
    }

    if (x.Sent() >= total && (x.Received() >= total || x.Received() == 0)) {
      x.Finish();
      return;
    }
    const std::uint8_t receiverFlags = host.unit().PollState(x.Receiver());
    if (!(receiverFlags & sfAnswerer) && x.Received() >= 1 && x.Received() < total) {
      Fail(host, "Потеря соединения принимающим");
    }
  }
}

}  // namespace vr512b
