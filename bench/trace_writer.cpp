// What recording a HID trace costs per feature transfer: CPU time, wall
// time, heap allocations and bytes of trace, for the mix of reports a test
// makes (mostly status polls and short commands).
//
//   vr512b-bench-trace-writer [TRANSFERS] [FILE]
//
// TRANSFERS defaults to 1 000 000; FILE to a new file in a temporary folder,
// removed afterwards (give /dev/null to leave the disk out).

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "trace/trace_writer.h"

namespace {

// Heap allocations, counted by the replaced operator new below; the only way
// to see allocations that come and go within one call.
std::atomic<long> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size))
    return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
  std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

namespace {

using namespace vr512b::trace;
using vr512b::kConfigReportLength;
using vr512b::kMessageReportLength;
using vr512b::kReportConfig;
using vr512b::kReportMessage;
using vr512b::kReportShort;
using vr512b::kShortReportLength;

// One test's pattern: status polls and short commands dominate; the
// configuration and message reports come now and then.
struct Step {
  TransferKind kind;
  std::uint8_t reportId;
  std::uint16_t length;
};
constexpr std::array<Step, 10> kMix = {{
    {TransferKind::Get, kReportShort, kShortReportLength},
    {TransferKind::Set, kReportShort, kShortReportLength},
    {TransferKind::Get, kReportShort, kShortReportLength},
    {TransferKind::Get, kReportShort, kShortReportLength},
    {TransferKind::Set, kReportConfig, kConfigReportLength},
    {TransferKind::Get, kReportConfig, kConfigReportLength},
    {TransferKind::Get, kReportShort, kShortReportLength},
    {TransferKind::Set, kReportMessage, kMessageReportLength},
    {TransferKind::Get, kReportMessage, kMessageReportLength},
    {TransferKind::Set, kReportShort, kShortReportLength},
}};

double CpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

}  // namespace

int main(int argc, char** argv) {
  const long transfers = argc > 1 ? std::atol(argv[1]) : 1000000;
  if (transfers <= 0) {
    std::fprintf(stderr, "usage: vr512b-bench-trace-writer [TRANSFERS] [FILE]\n");
    return 2;
  }
  std::filesystem::path folder;
  std::filesystem::path path;
  if (argc > 2) {
    path = argv[2];
  } else {
    folder = std::filesystem::temp_directory_path() /
             ("vr512b-bench-trace-" + std::to_string(std::random_device()()));
    std::filesystem::create_directory(folder);
    path = folder / "trace.pcapng";
  }

  std::array<std::uint8_t, kMessageReportLength> report{};
  for (std::size_t i = 0; i < report.size(); ++i)
    report[i] = static_cast<std::uint8_t>(i * 7);

  TraceWriter writer;
  if (!writer.Open(path, "vr512b-bench-trace-writer")) {
    std::fprintf(stderr, "%s\n", writer.error().c_str());
    return 1;
  }
  const auto reference = writer.AddUnit({Role::Reference, u"12345", 0x8002, 0x4002, 0x0A03}, 0);
  const auto underTest = writer.AddUnit({Role::UnderTest, u"777", 0x8002, 0x4002, 0x0102}, 0);
  if (!reference || !underTest || !writer.Flush()) {
    std::fprintf(stderr, "%s\n", writer.error().c_str());
    return 1;
  }
  // Not known for a device such as /dev/null.
  std::error_code unknown;
  const std::uintmax_t headerBytes = std::filesystem::file_size(path, unknown);

  const long allocationsBefore = allocations.load();
  const double cpuBefore = CpuSeconds();
  const auto wallBefore = std::chrono::steady_clock::now();
  Transfer transfer;
  for (long i = 0; i < transfers; ++i) {
    const Step& step = kMix[static_cast<std::size_t>(i) % kMix.size()];
    transfer.unit = (i / 2) % 2 == 0 ? *underTest : *reference;
    transfer.kind = step.kind;
    transfer.reportId = step.reportId;
    transfer.length = step.length;
    report[0] = step.reportId;
    transfer.bytes = std::span(report.data(), step.length);
    transfer.beganMs = i;
    transfer.endedMs = i + 1;
    if (!writer.Write(transfer)) {
      std::fprintf(stderr, "%s\n", writer.error().c_str());
      return 1;
    }
  }
  const bool closed = writer.Close();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  const double cpu = CpuSeconds() - cpuBefore;
  const long allocated = allocations.load() - allocationsBefore;
  if (!closed) {
    std::fprintf(stderr, "%s\n", writer.error().c_str());
    return 1;
  }
  const std::uintmax_t size = unknown ? 0 : std::filesystem::file_size(path, unknown);
  const double bytesPerTransfer =
      unknown ? 0.0 : static_cast<double>(size - headerBytes) / static_cast<double>(transfers);
  if (!folder.empty())
    std::filesystem::remove_all(folder);

  const double cpuNs = cpu * 1e9 / static_cast<double>(transfers);
  const double wallNs = wall * 1e9 / static_cast<double>(transfers);
  std::printf("transfers            %ld to %s\n", transfers, argc > 2 ? argv[2] : "a new file");
  std::printf("cpu per transfer     %.1f ns (wall %.1f ns)\n", cpuNs, wallNs);
  std::printf("cpu at one per ms    %.4f %%\n", cpuNs / 1e6 * 100);
  std::printf("heap allocations     %ld in the loop and Close()\n", allocated);
  if (!unknown)
    std::printf("trace per transfer   %.1f bytes (file %ju bytes, %ju before the first)\n",
                bytesPerTransfer, size, headerBytes);
  std::printf("transfers=%ld cpu_ns=%.1f wall_ns=%.1f bytes=%.1f allocations=%ld\n", transfers,
              cpuNs, wallNs, bytesPerTransfer, allocated);
  return 0;
}
