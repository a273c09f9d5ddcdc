#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trace/trace_types.h"

namespace vr512b::testing {

// A trace of the kind a test session writes: both units, every report in
// both directions, failed transfers of each kind, marks before and between
// the transfers, and a unit met only half-way through.
struct SampleTrace {
  struct Step {
    trace::TransferKind kind;
    trace::UnitId unit;
    std::uint8_t reportId;
    std::uint16_t length;
    std::vector<std::uint8_t> bytes;
    std::uint32_t error = 0;
    std::int64_t beganMs = 0;
    std::int64_t endedMs = 0;
  };
  struct Note {
    std::string text;
    std::int64_t timeMs;
  };

  trace::UnitIdentity underTest;
  trace::UnitIdentity reference;
  std::vector<Step> transfers;
  std::vector<Note> marks;
  // What the reader should give back, in order: 'U' unit, 'T' transfer, 'M' mark.
  std::string order;
};

SampleTrace MakeSampleTrace();
// Writes it with the writer; a failure fails the calling test.
void WriteSampleTrace(const SampleTrace& sample, const std::string& path);

}  // namespace vr512b::testing
