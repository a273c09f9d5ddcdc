// The trace reader on any bytes: it must end in a fault or at the end mark,
// never crash or grow without bound, and what it gives back must hold
// together. A trace it reads whole, written again, reads back the same.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "trace/trace_reader.h"
#include "trace/trace_writer.h"

namespace {

using namespace vr512b::trace;

[[noreturn]] void Broken(const std::string& what) {
  std::fprintf(stderr, "trace_reader: %s\n", what.c_str());
  std::abort();
}

// Everything but the frame numbers, which depend on blocks a rewrite drops.
bool SameEvent(const TraceEvent& a, const TraceEvent& b) {
  if (a.index() != b.index())
    return false;
  if (const auto* unit = std::get_if<UnitRecord>(&a)) {
    const auto& other = std::get<UnitRecord>(b);
    return unit->id == other.id && unit->identity == other.identity;
  }
  if (const auto* mark = std::get_if<MarkRecord>(&a)) {
    const auto& other = std::get<MarkRecord>(b);
    return mark->text == other.text && mark->timeMs == other.timeMs;
  }
  const auto& x = std::get<TransferRecord>(a);
  const auto& y = std::get<TransferRecord>(b);
  return x.unit == y.unit && x.kind == y.kind && x.reportId == y.reportId && x.length == y.length &&
         x.bytes == y.bytes && x.error == y.error && x.beganMs == y.beganMs &&
         x.endedMs == y.endedMs;
}

// A private folder for the rewritten traces, removed when the run ends.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string name = (std::filesystem::temp_directory_path() / "trace-fuzz-XXXXXX").string();
    if (!::mkdtemp(name.data()))
      Broken("no temporary folder");
    folder_ = name;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::filesystem::path File() const { return folder_ / "again.pcapng"; }

 private:
  std::filesystem::path folder_;
};

std::filesystem::path ScratchFile() {
  static const ScratchFolder scratch;
  return scratch.File();
}

void Rewrite(const Trace& trace) {
  TraceWriter writer;
  if (!writer.Open(ScratchFile(), trace.info.application))
    Broken(writer.error());
  for (const TraceEvent& event : trace.events) {
    bool written = true;
    if (const auto* unit = std::get_if<UnitRecord>(&event)) {
      const auto id = writer.AddUnit(unit->identity, 0);
      // Two units alike are one unit to the writer; the reader keeps both.
      if (!id || *id != unit->id)
        return;
    } else if (const auto* mark = std::get_if<MarkRecord>(&event)) {
      written = writer.Mark(mark->text, mark->timeMs);
    } else {
      const auto& t = std::get<TransferRecord>(event);
      written = writer.Write(
          {t.unit, t.kind, t.reportId, t.length, t.bytes, t.error, t.beganMs, t.endedMs});
    }
    // The writer refuses what it would never write (an overlong mark...).
    if (!written)
      return;
  }
  if (!writer.Close())
    Broken(writer.error());
  TraceReader reader = TraceReader::FromFile(ScratchFile());
  Trace again;
  if (!ReadTrace(reader, again))
    Broken("a rewritten trace does not read: " + reader.error());
  if (again.events.size() != trace.events.size())
    Broken("a rewritten trace has another number of events");
  for (std::size_t i = 0; i < again.events.size(); ++i)
    if (!SameEvent(again.events[i], trace.events[i]))
      Broken("a rewritten trace differs at event " + std::to_string(i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TraceReader reader = TraceReader::FromBytes({data, size}, "fuzz");
  Trace trace;
  const bool whole = ReadTrace(reader, trace);
  if (whole != (reader.fault() == TraceFault::None) || whole != reader.error().empty())
    Broken("the outcome and the fault disagree: " + reader.error());
  TraceEvent event;
  if (reader.Next(event))
    Broken("an event after the end");

  std::size_t units = 0;
  std::uint64_t frame = 0;
  for (const TraceEvent& e : trace.events) {
    if (const auto* unit = std::get_if<UnitRecord>(&e)) {
      if (unit->id != units)
        Broken("units not numbered in the order they are announced");
      ++units;
      continue;
    }
    const std::uint64_t at = std::holds_alternative<MarkRecord>(e)
                                 ? std::get<MarkRecord>(e).frame
                                 : std::get<TransferRecord>(e).frame;
    if (at <= frame)
      Broken("frames out of order");
    frame = at;
    if (const auto* t = std::get_if<TransferRecord>(&e)) {
      if (t->unit >= units)
        Broken("a transfer of a unit not announced");
      if (t->kind == TransferKind::Set ? t->bytes.size() != t->length : t->bytes.size() > t->length)
        Broken("a report longer than its request");
    }
  }
  if (whole)
    Rewrite(trace);
  return 0;
}
