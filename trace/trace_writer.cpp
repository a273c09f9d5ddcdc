#include "trace/trace_writer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <system_error>

#include "trace/little_endian.h"
#include "trace/pcapng_layout.h"
#include "trace/usb_descriptors.h"

namespace vr512b::trace {
namespace {

using namespace layout;

constexpr std::size_t kFlushThreshold = 64 * 1024;
// Room for the threshold plus the largest block of a transfer.
constexpr std::size_t kBufferCapacity = kFlushThreshold + 1024;
// Device addresses 2..101 on one bus.
constexpr std::size_t kMaxUnits = 100;
constexpr std::size_t kMaxMarkLength = 16 * 1024;
constexpr std::int64_t kMaxTimeMs = std::numeric_limits<std::int64_t>::max() / 1000;

constexpr std::string_view kDescriptorsComment =
    "Дескрипторы восстановлены консолью по атрибутам и серийному номеру УПО";
constexpr std::string_view kSectionComment =
    "Обмен консоли VR512B с УПО: HID feature reports (SET_REPORT, GET_REPORT) обоих УПО";
constexpr std::string_view kMarksDescription = "отметки консоли";
constexpr std::uint32_t kMarksInterfaceId = 0;
constexpr std::uint32_t kFirstUnitInterfaceId = 1;

#if defined(_WIN32)
constexpr std::string_view kOperatingSystem = "Windows";
#elif defined(__linux__)
constexpr std::string_view kOperatingSystem = "Linux";
#else
constexpr std::string_view kOperatingSystem = "POSIX";
#endif

constexpr std::size_t Padded(std::size_t size) {
  return (size + 3) & ~std::size_t{3};
}

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::FILE* OpenForWriting(const std::filesystem::path& path) {
#ifdef _WIN32
  return ::_wfopen(path.c_str(), L"wb");
#else
  return std::fopen(path.c_str(), "wb");
#endif
}

}  // namespace

void TraceWriter::FileCloser::operator()(std::FILE* file) const {
  std::fclose(file);
}

TraceWriter::TraceWriter() = default;

TraceWriter::~TraceWriter() {
  StopWritingOut();
  if (file_)
    static_cast<void>(Close());
}

void TraceWriter::WriteOutEvery(std::int64_t ms) {
  std::lock_guard lock(mutex_);
  writeOutEveryMs_ = ms;
  if (writingOut_.joinable())
    return;
  writingOut_ = std::jthread([this, ms](std::stop_token stop) {
    std::unique_lock held(mutex_);
    while (!wake_.wait_for(held, stop, std::chrono::milliseconds(ms), [] { return false; }) &&
           !stop.stop_requested()) {
      if (file_ && error_.empty() && !buffer_.empty())
        static_cast<void>(WriteOut());
    }
  });
}

void TraceWriter::StopWritingOut() {
  if (writingOut_.joinable()) {
    writingOut_.request_stop();
    writingOut_.join();
  }
}

bool TraceWriter::isOpen() const {
  std::lock_guard lock(mutex_);
  return file_ != nullptr;
}

std::string TraceWriter::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

bool TraceWriter::Open(const std::filesystem::path& path, std::string_view application) {
  std::lock_guard lock(mutex_);
  if (file_)
    return Fail("уже открыта");
  error_.clear();
  units_.clear();
  nextUrb_ = 1;
  lastTimeMs_ = 0;
  writtenOutMs_ = 0;
  digest_ = TraceDigest();
  pathText_ = PathText(path);
  file_.reset(OpenForWriting(path));
  if (!file_) {
    error_ =
        "Не могу создать файл трассы " + pathText_ + ": " + std::generic_category().message(errno);
    return false;
  }
  // The buffer below is the only one, so that a failed write shows at once.
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  buffer_.clear();
  buffer_.reserve(kBufferCapacity);
  AppendSectionHeader(application);
  AppendInterface(kLinkTypeUpperPdu, kMarksInterface, kMarksDescription);
  return WriteOut();
}

std::optional<UnitId> TraceWriter::AddUnit(const UnitIdentity& unit, std::int64_t timeMs) {
  std::lock_guard lock(mutex_);
  if (!Usable() || !CheckTime(timeMs))
    return std::nullopt;
  const auto known = std::find(units_.begin(), units_.end(), unit);
  if (known != units_.end())
    return static_cast<UnitId>(known - units_.begin());
  if (units_.size() == kMaxUnits) {
    Fail("в трассе уже " + std::to_string(kMaxUnits) + " УПО, больше не помещается");
    return std::nullopt;
  }
  if (unit.serial.size() > kMaxSerialLength) {
    Fail("серийный номер УПО длиннее " + std::to_string(kMaxSerialLength) + " знаков");
    return std::nullopt;
  }
  const auto id = static_cast<UnitId>(units_.size());
  units_.push_back(unit);
  digest_.AddUnit(id, unit);
  AppendInterface(kLinkTypeUsbmon,
                  unit.role == Role::Reference ? kReferenceInterface : kUnderTestInterface,
                  DescribeUnit(unit));
  const auto device = DeviceDescriptor(unit);
  const auto serial = StringDescriptor(unit.serial);
  const auto configuration = ConfigurationDescriptor();
  const auto report = HidReportDescriptor();
  constexpr std::uint16_t kAnyLength = 255;
  auto get = [&](std::uint8_t requestType, std::uint16_t value, std::uint16_t index,
                 std::uint16_t length, std::span<const std::uint8_t> descriptor,
                 std::string_view comment = {}) {
    AppendControl(id, {requestType, kGetDescriptor, value, index, length}, descriptor, 0, timeMs,
                  timeMs, comment);
  };
  // The comment goes on the first request, where a reader of the trace meets them.
  get(kStandardDeviceIn, kDeviceDescriptor << 8, 0, kDeviceDescriptorSize, device,
      kDescriptorsComment);
  get(kStandardDeviceIn, kConfigurationDescriptor << 8, 0,
      static_cast<std::uint16_t>(configuration.size()), configuration);
  get(kStandardDeviceIn, kStringDescriptor << 8, 0, kAnyLength, LanguagesDescriptor());
  get(kStandardDeviceIn, (kStringDescriptor << 8) | kSerialStringIndex, kLanguageEnglishUs,
      kAnyLength, serial);
  get(kStandardInterfaceIn, kHidReportDescriptor << 8, kHidInterface,
      static_cast<std::uint16_t>(report.size()), report);
  if (buffer_.size() >= kFlushThreshold && !WriteOut())
    return std::nullopt;
  return id;
}

bool TraceWriter::Write(const Transfer& transfer) {
  std::lock_guard lock(mutex_);
  if (!Usable() || !CheckTime(transfer.beganMs) || !CheckTime(transfer.endedMs))
    return false;
  if (transfer.unit >= units_.size())
    return Fail("передача для УПО номер " + std::to_string(transfer.unit) +
                ", которого нет в трассе");
  const bool set = transfer.kind == TransferKind::Set;
  if (set ? transfer.bytes.size() != transfer.length : transfer.bytes.size() > transfer.length)
    return Fail("передача отчёта " + std::to_string(transfer.reportId) + " длиной " +
                std::to_string(transfer.length) + " несёт " +
                std::to_string(transfer.bytes.size()) + " байт");
  const Setup setup{set ? kClassInterfaceOut : kClassInterfaceIn, set ? kSetReport : kGetReport,
                    static_cast<std::uint16_t>((kFeatureReportType << 8) | transfer.reportId),
                    kHidInterface, transfer.length};
  AppendControl(transfer.unit, setup, transfer.bytes, transfer.error, transfer.beganMs,
                transfer.endedMs, {});
  digest_.AddTransfer(transfer.unit, transfer.kind, transfer.reportId, transfer.length,
                      transfer.bytes, transfer.error);
  const bool due = writeOutEveryMs_ && transfer.endedMs - writtenOutMs_ >= *writeOutEveryMs_;
  return (buffer_.size() < kFlushThreshold && !due) || WriteOut();
}

bool TraceWriter::Mark(std::string_view text, std::int64_t timeMs) {
  std::lock_guard lock(mutex_);
  if (!Usable() || !CheckTime(timeMs))
    return false;
  if (text.size() > kMaxMarkLength)
    return Fail("отметка длиннее " + std::to_string(kMaxMarkLength) + " байт");
  AppendMarkPacket(kMarkPrefix, text, timeMs);
  digest_.AddMark(text);
  return WriteOut();
}

bool TraceWriter::Flush() {
  std::lock_guard lock(mutex_);
  return Usable() && WriteOut();
}

bool TraceWriter::Close() {
  StopWritingOut();
  std::lock_guard lock(mutex_);
  if (!file_)
    return error_.empty();
  // After a failure what came before it is kept, without the end mark.
  if (error_.empty())
    AppendMarkPacket(kEndLine, {}, lastTimeMs_, digest_.Comment());
  static_cast<void>(WriteOut());
  std::FILE* file = file_.release();
  if (std::fclose(file) != 0 && error_.empty())
    FailFromErrno("не могу закрыть файл", errno);
  buffer_.clear();
  return error_.empty();
}

bool TraceWriter::Fail(std::string text) {
  if (error_.empty())
    error_ = "Трасса " + pathText_ + ": " + std::move(text);
  return false;
}

bool TraceWriter::FailFromErrno(const char* what, int code) {
  return Fail(std::string(what) + ": " + std::generic_category().message(code));
}

bool TraceWriter::Usable() {
  if (!file_) {
    if (error_.empty())
      error_ = "Трасса не открыта";
    return false;
  }
  return error_.empty();
}

bool TraceWriter::CheckTime(std::int64_t ms) {
  if (ms < 0 || ms > kMaxTimeMs)
    return Fail("время " + std::to_string(ms) + " мс вне допустимого");
  lastTimeMs_ = std::max(lastTimeMs_, ms);
  return true;
}

std::uint8_t* TraceWriter::Grow(std::size_t bytes) {
  const std::size_t old = buffer_.size();
  buffer_.resize(old + bytes);
  return buffer_.data() + old;
}

std::size_t TraceWriter::BeginBlock(std::uint32_t type) {
  const std::size_t start = buffer_.size();
  PutU32(Grow(8), type);
  return start;
}

void TraceWriter::AppendOption(std::uint16_t code, std::string_view value) {
  std::uint8_t* at = Grow(4 + Padded(value.size()));
  PutU16(at, code);
  PutU16(at + 2, static_cast<std::uint16_t>(value.size()));
  if (!value.empty())
    std::memcpy(at + 4, value.data(), value.size());
}

void TraceWriter::EndBlock(std::size_t start) {
  const auto length = static_cast<std::uint32_t>(buffer_.size() - start + 4);
  PutU32(Grow(4), length);
  PutU32(buffer_.data() + start + 4, length);
}

void TraceWriter::AppendSectionHeader(std::string_view application) {
  const std::size_t start = BeginBlock(kSectionHeaderBlock);
  std::uint8_t* at = Grow(16);
  PutU32(at, kByteOrderMagic);
  PutU16(at + 4, 1);  // version 1.0
  PutU16(at + 6, 0);
  PutU64(at + 8, ~std::uint64_t{0});  // section length not given
  std::string comment(kFormatMarker);
  comment += '\n';
  comment += kSectionComment;
  AppendOption(kOptComment, comment);
  AppendOption(kShbOs, kOperatingSystem);
  AppendOption(kShbUserAppl, application.substr(0, 0xFFFF));
  AppendOption(kOptEnd, {});
  EndBlock(start);
}

void TraceWriter::AppendInterface(std::uint16_t linkType, std::string_view name,
                                  std::string_view description) {
  const std::size_t start = BeginBlock(kInterfaceBlock);
  std::uint8_t* at = Grow(8);
  PutU16(at, linkType);
  // Bytes 2..7: reserved, and a snapshot length of 0, i.e. none.
  AppendOption(kIfName, name);
  AppendOption(kIfDescription, description);
  AppendOption(kOptEnd, {});
  EndBlock(start);
}

void TraceWriter::PutPacketFields(std::uint8_t* at, std::uint32_t interface, std::int64_t timeMs,
                                  std::size_t captured) {
  const auto micros = static_cast<std::uint64_t>(timeMs) * 1000;
  PutU32(at, interface);
  PutU32(at + 4, static_cast<std::uint32_t>(micros >> 32));
  PutU32(at + 8, static_cast<std::uint32_t>(micros));
  PutU32(at + 12, static_cast<std::uint32_t>(captured));
  PutU32(at + 16, static_cast<std::uint32_t>(captured));
}

void TraceWriter::AppendControl(UnitId unit, const Setup& setup, std::span<const std::uint8_t> data,
                                std::uint32_t error, std::int64_t beganMs, std::int64_t endedMs,
                                std::string_view comment) {
  const bool in = (setup.requestType & usbmon::kDirectionIn) != 0;
  const std::uint8_t endpoint = in ? usbmon::kDirectionIn : 0;
  const std::uint64_t urb = nextUrb_++;
  // usbmon's status is -errno; the mapping keeps every non-zero code non-zero
  // and reversible.
  const auto status = static_cast<std::int32_t>(0u - error);
  const auto none = std::span<const std::uint8_t>{};
  AppendUsbmonPacket(unit, urb, usbmon::kSubmission, endpoint, &setup, usbmon::kInProgress,
                     setup.length, in ? none : data, beganMs, comment);
  const auto moved = static_cast<std::uint32_t>(in || error == 0 ? data.size() : 0);
  AppendUsbmonPacket(unit, urb, usbmon::kCompletion, endpoint, nullptr, status, moved,
                     in ? data : none, endedMs, {});
}

void TraceWriter::AppendUsbmonPacket(UnitId unit, std::uint64_t urb, std::uint8_t type,
                                     std::uint8_t endpoint, const Setup* setup, std::int32_t status,
                                     std::uint32_t length, std::span<const std::uint8_t> data,
                                     std::int64_t timeMs, std::string_view comment) {
  const std::size_t start = BeginBlock(kEnhancedPacketBlock);
  const auto captured = static_cast<std::uint32_t>(kUsbmonHeaderSize + data.size());
  std::uint8_t* at = Grow(kPacketFieldsSize + Padded(captured));
  PutPacketFields(at, unit + kFirstUnitInterfaceId, timeMs, captured);
  std::uint8_t* header = at + kPacketFieldsSize;
  PutU64(header + usbmon::kId, urb);
  header[usbmon::kType] = type;
  header[usbmon::kXferType] = usbmon::kControl;
  header[usbmon::kEndpoint] = endpoint;
  header[usbmon::kDevice] = static_cast<std::uint8_t>(kFirstDeviceAddress + unit);
  PutU16(header + usbmon::kBus, kBus);
  header[usbmon::kFlagSetup] = setup ? 0 : '-';
  const bool in = (endpoint & usbmon::kDirectionIn) != 0;
  header[usbmon::kFlagData] = data.empty() ? (in ? '<' : '>') : 0;
  PutU64(header + usbmon::kSeconds, static_cast<std::uint64_t>(timeMs / 1000));
  PutU32(header + usbmon::kMicros, static_cast<std::uint32_t>(timeMs % 1000 * 1000));
  PutU32(header + usbmon::kStatus, static_cast<std::uint32_t>(status));
  PutU32(header + usbmon::kLength, length);
  PutU32(header + usbmon::kCaptured, static_cast<std::uint32_t>(data.size()));
  if (setup) {
    std::uint8_t* s = header + usbmon::kSetup;
    s[0] = setup->requestType;
    s[1] = setup->request;
    PutU16(s + 2, setup->value);
    PutU16(s + 4, setup->index);
    PutU16(s + 6, setup->length);
  }
  if (!data.empty())
    std::memcpy(header + kUsbmonHeaderSize, data.data(), data.size());
  if (!comment.empty()) {
    AppendOption(kOptComment, comment);
    AppendOption(kOptEnd, {});
  }
  EndBlock(start);
}

void TraceWriter::AppendMarkPacket(std::string_view prefix, std::string_view text,
                                   std::int64_t timeMs, std::string_view comment) {
  const std::size_t start = BeginBlock(kEnhancedPacketBlock);
  const std::size_t captured = kSyslogPduHeader.size() + prefix.size() + text.size();
  std::uint8_t* at = Grow(kPacketFieldsSize + Padded(captured));
  PutPacketFields(at, kMarksInterfaceId, timeMs, captured);
  at += kPacketFieldsSize;
  for (std::string_view piece : {kSyslogPduHeader, prefix, text}) {
    if (!piece.empty())
      std::memcpy(at, piece.data(), piece.size());
    at += piece.size();
  }
  if (!comment.empty()) {
    AppendOption(kOptComment, comment);
    AppendOption(kOptEnd, {});
  }
  EndBlock(start);
}

bool TraceWriter::WriteOut() {
  writtenOutMs_ = lastTimeMs_;
  if (buffer_.empty())
    return error_.empty();
  const std::size_t written = std::fwrite(buffer_.data(), 1, buffer_.size(), file_.get());
  const int code = errno;
  const bool complete = written == buffer_.size();
  buffer_.clear();
  if (!complete)
    return FailFromErrno("не могу записать файл", code);
  return error_.empty();
}

}  // namespace vr512b::trace
