#include "trace/trace_reader.h"

#include <cstdio>
#include <limits>
#include <utility>

#include "trace/little_endian.h"
#include "trace/pcapng_layout.h"

namespace vr512b::trace {
namespace {

using namespace layout;

// A trace has one interface per unit, and a unit has a USB address.
constexpr std::size_t kMaxInterfaces = 127;

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

}  // namespace

TraceReader::TraceReader(std::string name, std::unique_ptr<ByteSource> source)
    : name_(std::move(name)) {
  if (source)
    blocks_ = std::make_unique<BlockReader>(std::move(source));
}

TraceReader::TraceReader(TraceReader&&) noexcept = default;
TraceReader& TraceReader::operator=(TraceReader&&) noexcept = default;
TraceReader::~TraceReader() = default;

TraceReader TraceReader::FromFile(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  std::string name(text.begin(), text.end());
  std::string error;
  auto source = OpenFileSource(path, error);
  TraceReader reader(name, std::move(source));
  if (!reader.blocks_)
    reader.FailAtEnd(TraceFault::Io, "не могу открыть файл: " + error);
  return reader;
}

TraceReader TraceReader::FromBytes(std::span<const std::uint8_t> bytes, std::string name) {
  return TraceReader(std::move(name), MemorySource(bytes));
}

bool TraceReader::FailAtEnd(TraceFault fault, const std::string& text) {
  if (fault_ == TraceFault::None) {
    fault_ = fault;
    error_ = "Трасса " + name_ + ": " + text;
  }
  done_ = true;
  return false;
}

bool TraceReader::Fail(TraceFault fault, const std::string& text) {
  return FailAtEnd(fault, text + " (блок по смещению " + std::to_string(block_.offset) + ")");
}

bool TraceReader::Next(TraceEvent& event) {
  while (!done_) {
    switch (blocks_->Next(block_)) {
      case BlockFault::None:
        break;
      case BlockFault::End:
        return Finish();
      case BlockFault::Io:
        return FailAtEnd(TraceFault::Io, "не могу прочесть файл: " + blocks_->fault());
      case BlockFault::NotPcapng:
        return FailAtEnd(TraceFault::NotPcapng, "не файл pcapng: " + blocks_->fault());
      case BlockFault::BigEndian:
        return FailAtEnd(TraceFault::Unsupported, blocks_->fault());
      case BlockFault::Malformed:
        return Fail(TraceFault::Malformed, blocks_->fault());
      case BlockFault::Truncated:
        return Fail(TraceFault::Truncated, "трасса оборвана: " + blocks_->fault());
    }
    bool produced = false;
    bool ok = true;
    if (block_.type == kSectionHeaderBlock) {
      ok = ReadSection();
    } else if (ended_ && (block_.type == kInterfaceBlock || block_.type == kEnhancedPacketBlock)) {
      ok = Fail(TraceFault::Malformed, "запись после отметки конца трассы");
    } else if (block_.type == kInterfaceBlock) {
      ok = ReadInterface();
    } else if (block_.type == kEnhancedPacketBlock) {
      ++frames_;
      ok = ReadPacket(event, produced);
    } else if (block_.type == kSimplePacketBlock || block_.type == kObsoletePacketBlock ||
               block_.type == kJournalBlock) {
      ok = Fail(TraceFault::NotOurTrace, "пакет в блоке типа " + std::to_string(block_.type) +
                                             ", какого эта программа не пишет");
    }
    // Other blocks (statistics, name resolution...) say nothing about the
    // transfers and are passed over, as pcapng asks.
    if (!ok)
      return false;
    if (produced) {
      if (const auto* unit = std::get_if<UnitRecord>(&event))
        digest_.AddUnit(unit->id, unit->identity);
      else if (const auto* t = std::get_if<TransferRecord>(&event))
        digest_.AddTransfer(t->unit, t->kind, t->reportId, t->length, t->bytes, t->error);
      else if (const auto* mark = std::get_if<MarkRecord>(&event))
        digest_.AddMark(mark->text);
      return true;
    }
  }
  return false;
}

bool TraceReader::Finish() {
  if (hasPending_)
    return FailAtEnd(TraceFault::Truncated, "трасса оборвана: у запроса кадра " +
                                                std::to_string(pending_.frame) + " нет завершения");
  if (!ended_)
    return FailAtEnd(TraceFault::Truncated,
                     "трасса оборвана: нет отметки конца записи (запись не была закрыта)");
  done_ = true;
  return false;
}

bool TraceReader::ReadSection() {
  if (sectionRead_)
    return Fail(TraceFault::Unsupported, "вторая секция pcapng: трасса бывает одной секцией");
  sectionRead_ = true;
  const auto& content = block_.content;
  if (content.size() < 16)
    return Fail(TraceFault::Malformed, "заголовок секции короче положенного");
  if (GetU16(content.data() + 4) != 1)
    return Fail(TraceFault::Unsupported,
                "pcapng версии " + std::to_string(GetU16(content.data() + 4)));
  std::optional<std::string> format;
  const bool wellFormed =
      ForEachOption(std::span(content).subspan(16), [&](std::uint16_t code, auto value) {
        const std::string_view text = AsText(value);
        if (code == kOptComment && text.starts_with(kFormatMarkerPrefix))
          format = std::string(text.substr(0, text.find('\n')));
        else if (code == kShbOs)
          info_.system = text;
        else if (code == kShbUserAppl)
          info_.application = text;
      });
  if (!wellFormed)
    return Fail(TraceFault::Malformed, "параметр заголовка секции выходит за блок");
  if (!format)
    return Fail(TraceFault::NotOurTrace, "нет отметки формата \"" + std::string(kFormatMarker) +
                                             "\": это не запись обмена с УПО VR512B");
  if (*format != kFormatMarker)
    return Fail(TraceFault::Unsupported, "формат \"" + *format +
                                             "\" не поддерживается (читается \"" +
                                             std::string(kFormatMarker) + "\")");
  return true;
}

bool TraceReader::ReadInterface() {
  if (!sectionRead_)
    return Fail(TraceFault::Malformed, "интерфейс до заголовка секции");
  const auto& content = block_.content;
  if (content.size() < 8)
    return Fail(TraceFault::Malformed, "описание интерфейса короче положенного");
  if (interfaces_.size() == kMaxInterfaces)
    return Fail(TraceFault::NotOurTrace,
                "больше " + std::to_string(kMaxInterfaces) + " интерфейсов");
  const std::uint16_t linkType = GetU16(content.data());
  const std::string number = std::to_string(interfaces_.size());
  if (linkType != kLinkTypeUsbmon && linkType != kLinkTypeUpperPdu)
    return Fail(TraceFault::NotOurTrace, "интерфейс " + number + " с типом канала " +
                                             std::to_string(linkType) +
                                             ", а не USB (Linux usbmon, 220)");
  Interface added;
  bool resolutionKnown = true;
  const bool wellFormed =
      ForEachOption(std::span(content).subspan(8), [&](std::uint16_t code, auto value) {
        const std::string_view text = AsText(value);
        if (code == kIfName && linkType == kLinkTypeUsbmon && text == kReferenceInterface)
          added.role = Role::Reference;
        else if (code == kIfName && linkType == kLinkTypeUsbmon && text == kUnderTestInterface)
          added.role = Role::UnderTest;
        else if (code == kIfName && linkType == kLinkTypeUpperPdu && text == kMarksInterface)
          added.marks = true;
        else if (code == kIfTsResol && value.size() == 1 && value[0] <= 9)
          added.timeExponent = value[0];
        else if (code == kIfTsResol)
          resolutionKnown = false;
      });
  if (!wellFormed)
    return Fail(TraceFault::Malformed, "параметр интерфейса " + number + " выходит за блок");
  if (!added.role && !added.marks)
    return Fail(TraceFault::NotOurTrace, "интерфейс " + number + " не назван ни ролью УПО (\"" +
                                             std::string(kReferenceInterface) + "\", \"" +
                                             std::string(kUnderTestInterface) + "\"), ни \"" +
                                             std::string(kMarksInterface) + "\"");
  if (!resolutionKnown)
    return Fail(TraceFault::Unsupported, "единица времени интерфейса " + number);
  if (added.marks && std::exchange(marksSeen_, true))
    return Fail(TraceFault::Malformed, "второй интерфейс отметок");
  interfaces_.push_back(std::move(added));
  return true;
}

std::optional<std::int64_t> TraceReader::Milliseconds(const Interface& unit, std::uint64_t ticks) {
  std::uint64_t ms = ticks;
  for (int e = unit.timeExponent; e > 3; --e)
    ms /= 10;
  for (int e = unit.timeExponent; e < 3; ++e) {
    if (ms > std::numeric_limits<std::uint64_t>::max() / 10)
      return std::nullopt;
    ms *= 10;
  }
  if (ms > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
    return std::nullopt;
  return static_cast<std::int64_t>(ms);
}

bool TraceReader::ReadPacket(TraceEvent& event, bool& produced) {
  const auto& content = block_.content;
  if (content.size() < kPacketFieldsSize)
    return Fail(TraceFault::Malformed, "блок пакета короче положенного");
  const std::uint32_t interface = GetU32(content.data());
  const std::uint32_t captured = GetU32(content.data() + 12);
  const std::uint32_t original = GetU32(content.data() + 16);
  if (interface >= interfaces_.size())
    return Fail(TraceFault::Malformed,
                "пакет интерфейса " + std::to_string(interface) + ", которого нет");
  if (captured > content.size() - kPacketFieldsSize)
    return Fail(TraceFault::Malformed,
                "пакет длиной " + std::to_string(captured) + " байт не помещается в свой блок");
  if (original != captured)
    return Fail(TraceFault::Malformed, "пакет записан не целиком (" + std::to_string(captured) +
                                           " байт из " + std::to_string(original) + ")");
  const std::uint64_t ticks =
      (std::uint64_t{GetU32(content.data() + 4)} << 32) | GetU32(content.data() + 8);
  const auto timeMs = Milliseconds(interfaces_[interface], ticks);
  if (!timeMs)
    return Fail(TraceFault::Malformed, "время пакета вне допустимого");
  const auto packet = std::span(content).subspan(kPacketFieldsSize, captured);
  if (interfaces_[interface].marks) {
    const std::size_t padded = (captured + 3u) & ~std::size_t{3};
    const auto options = padded <= content.size() - kPacketFieldsSize
                             ? std::span(content).subspan(kPacketFieldsSize + padded)
                             : std::span<const std::uint8_t>();
    return ReadMark(packet, options, *timeMs, event, produced);
  }
  return ReadUsbmon(interface, *timeMs, packet, event, produced);
}

bool TraceReader::ReadUsbmon(std::uint32_t interface, std::int64_t timeMs,
                             std::span<const std::uint8_t> packet, TraceEvent& event,
                             bool& produced) {
  if (packet.size() < kUsbmonHeaderSize)
    return Fail(TraceFault::Malformed, "пакет короче заголовка usbmon");
  const std::uint8_t* header = packet.data();
  const auto data = packet.subspan(kUsbmonHeaderSize);
  if (GetU32(header + usbmon::kCaptured) != data.size())
    return Fail(TraceFault::Malformed, "длина данных в заголовке usbmon не совпадает с пакетом");
  if (header[usbmon::kXferType] != usbmon::kControl)
    return Fail(TraceFault::NotOurTrace,
                "передача не по управляющему каналу: консоль таких "
                "не делает");
  Interface& unit = interfaces_[interface];
  const std::uint8_t device = header[usbmon::kDevice];
  if (device == 0 || (unit.device != 0 && unit.device != device))
    return Fail(TraceFault::Malformed,
                "у интерфейса " + std::to_string(interface) + " второй адрес USB");
  if (unit.device == 0) {
    for (const Interface& other : interfaces_)
      if (other.device == device)
        return Fail(TraceFault::Malformed,
                    "адрес USB " + std::to_string(device) + " у двух интерфейсов");
    unit.device = device;
  }
  const std::uint64_t urb = GetU64(header + usbmon::kId);
  const std::uint8_t endpoint = header[usbmon::kEndpoint];
  if (header[usbmon::kType] == usbmon::kSubmission) {
    if (hasPending_)
      return Fail(TraceFault::Malformed, "новый запрос, пока у запроса кадра " +
                                             std::to_string(pending_.frame) + " нет завершения");
    if (header[usbmon::kFlagSetup] != 0)
      return Fail(TraceFault::Malformed, "запрос без пакета SETUP");
    hasPending_ = true;
    pending_.urb = urb;
    pending_.interface = interface;
    pending_.endpoint = endpoint;
    std::copy_n(header + usbmon::kSetup, pending_.setup.size(), pending_.setup.begin());
    pending_.data.assign(data.begin(), data.end());
    pending_.timeMs = timeMs;
    pending_.frame = frames_;
    return true;
  }
  if (header[usbmon::kType] != usbmon::kCompletion)
    return Fail(TraceFault::Unsupported, "событие usbmon типа " + Hex(header[usbmon::kType], 2));
  if (!hasPending_ || pending_.urb != urb || pending_.interface != interface ||
      pending_.endpoint != endpoint)
    return Fail(TraceFault::Malformed, "завершение без своего запроса");
  hasPending_ = false;
  const auto status = static_cast<std::int32_t>(GetU32(header + usbmon::kStatus));
  return ReadCompletion(status, data, timeMs, event, produced);
}

bool TraceReader::ReadCompletion(std::int32_t status, std::span<const std::uint8_t> data,
                                 std::int64_t timeMs, TraceEvent& event, bool& produced) {
  const auto& setup = pending_.setup;
  const std::uint8_t requestType = setup[0];
  const std::uint8_t request = setup[1];
  const std::uint16_t value = GetU16(setup.data() + 2);
  const std::uint16_t index = GetU16(setup.data() + 4);
  const std::uint16_t length = GetU16(setup.data() + 6);
  const bool in = (requestType & usbmon::kDirectionIn) != 0;
  if (in != ((pending_.endpoint & usbmon::kDirectionIn) != 0) ||
      !(in ? pending_.data.empty() : data.empty()))
    return Fail(TraceFault::Malformed, "данные передачи кадра " + std::to_string(pending_.frame) +
                                           " идут не в ту сторону");
  if ((in ? data.size() : pending_.data.size()) > length)
    return Fail(TraceFault::Malformed, "передача кадра " + std::to_string(pending_.frame) +
                                           " несёт больше байтов, чем запрошено");
  if (request == kGetDescriptor &&
      (requestType == kStandardDeviceIn || requestType == kStandardInterfaceIn)) {
    if (status != 0)
      return Fail(TraceFault::Malformed, "дескриптор не прочитан");
    return ReadDescriptor(data, event, produced);
  }
  const bool set = requestType == kClassInterfaceOut && request == kSetReport;
  const bool get = requestType == kClassInterfaceIn && request == kGetReport;
  if (!(set || get) || (value >> 8) != kFeatureReportType || index != kHidInterface)
    return Fail(TraceFault::NotOurTrace, "запрос bmRequestType " + Hex(requestType, 2) +
                                             ", bRequest " + Hex(request, 2) + ", wValue " +
                                             Hex(value, 4) + ", wIndex " + Hex(index, 4) +
                                             ": консоль таких не делает");
  if (set && pending_.data.size() != length)
    return Fail(TraceFault::Malformed,
                "SET_REPORT кадра " + std::to_string(pending_.frame) + " несёт не wLength байтов");
  Interface& unit = interfaces_[pending_.interface];
  if (!unit.announced)
    return Fail(TraceFault::Malformed, "обмен с УПО до его дескрипторов");
  TransferRecord transfer;
  transfer.unit = unit.unit;
  transfer.kind = set ? TransferKind::Set : TransferKind::Get;
  transfer.reportId = static_cast<std::uint8_t>(value & 0xFF);
  transfer.length = length;
  transfer.bytes = set ? pending_.data : std::vector<std::uint8_t>(data.begin(), data.end());
  transfer.error = 0u - static_cast<std::uint32_t>(status);
  transfer.beganMs = pending_.timeMs;
  transfer.endedMs = timeMs;
  transfer.frame = pending_.frame;
  event = std::move(transfer);
  produced = true;
  return true;
}

bool TraceReader::ReadDescriptor(std::span<const std::uint8_t> data, TraceEvent& event,
                                 bool& produced) {
  const std::uint16_t value = GetU16(pending_.setup.data() + 2);
  const std::uint8_t type = static_cast<std::uint8_t>(value >> 8);
  const std::uint8_t index = static_cast<std::uint8_t>(value & 0xFF);
  Interface& unit = interfaces_[pending_.interface];
  if (type == kDeviceDescriptor) {
    if (unit.fields)
      return Fail(TraceFault::Malformed, "второй дескриптор устройства у одного УПО");
    unit.fields = ParseDeviceDescriptor(data);
    if (!unit.fields)
      return Fail(TraceFault::Malformed, "дескриптор устройства повреждён");
    if (unit.fields->vendorId != kUnitVendorId || unit.fields->productId != kUnitProductId)
      return Fail(TraceFault::OtherDevice,
                  "запись обмена с другим устройством (VID " + Hex(unit.fields->vendorId, 4) +
                      ", PID " + Hex(unit.fields->productId, 4) + "), а не с УПО VR512B (VID " +
                      Hex(kUnitVendorId, 4) + ", PID " + Hex(kUnitProductId, 4) + ")");
  } else if (type == kStringDescriptor && index != 0) {
    if (!unit.fields)
      return Fail(TraceFault::Malformed, "строка УПО до его дескриптора устройства");
    if (index != unit.fields->serialIndex)
      return true;
    if (unit.serial)
      return Fail(TraceFault::Malformed, "второй серийный номер у одного УПО");
    unit.serial = ParseStringDescriptor(data);
    if (!unit.serial)
      return Fail(TraceFault::Malformed, "строка серийного номера повреждена");
  }
  if (unit.announced || !unit.fields || !unit.serial)
    return true;
  unit.announced = true;
  unit.unit = units_++;
  UnitRecord record;
  record.id = unit.unit;
  record.identity.role = *unit.role;
  record.identity.serial = *unit.serial;
  record.identity.vendorId = unit.fields->vendorId;
  record.identity.productId = unit.fields->productId;
  record.identity.version = unit.fields->version;
  event = std::move(record);
  produced = true;
  return true;
}

bool TraceReader::ReadMark(std::span<const std::uint8_t> packet,
                           std::span<const std::uint8_t> options, std::int64_t timeMs,
                           TraceEvent& event, bool& produced) {
  const std::string_view text = AsText(packet);
  if (!text.starts_with(kSyslogPduHeader))
    return Fail(TraceFault::Malformed, "отметка не в виде строки syslog");
  const std::string_view line = text.substr(kSyslogPduHeader.size());
  if (line == kEndLine) {
    ended_ = true;
    return CheckDigest(options);
  }
  if (!line.starts_with(kMarkPrefix))
    return Fail(TraceFault::NotOurTrace, "строка syslog не от этой программы");
  MarkRecord mark;
  mark.text = line.substr(kMarkPrefix.size());
  mark.timeMs = timeMs;
  mark.frame = frames_;
  event = std::move(mark);
  produced = true;
  return true;
}

bool TraceReader::CheckDigest(std::span<const std::uint8_t> options) {
  std::optional<std::uint32_t> recorded;
  ForEachOption(options, [&](std::uint16_t code, std::span<const std::uint8_t> value) {
    if (code == kOptComment && !recorded)
      recorded = TraceDigest::FromComment(AsText(value));
  });
  // A trace written before the digest existed is taken as it is.
  if (!recorded || *recorded == digest_.Value())
    return true;
  char words[160];
  std::snprintf(words, sizeof words, "записана контрольная сумма %08X, содержимое даёт %08X",
                static_cast<unsigned>(*recorded), static_cast<unsigned>(digest_.Value()));
  return Fail(
      TraceFault::Damaged,
      std::string("трасса повреждена, её передачи или отметки изменены после записи: ") + words);
}

bool ReadTrace(TraceReader& reader, Trace& trace) {
  TraceEvent event;
  while (reader.Next(event)) {
    if (const auto* unit = std::get_if<UnitRecord>(&event))
      trace.units.push_back(*unit);
    trace.events.push_back(std::move(event));
  }
  trace.info = reader.info();
  return reader.fault() == TraceFault::None;
}

}  // namespace vr512b::trace
