#pragma once

#include <cstdint>

#include "device/device_types.h"

namespace vr512b::sim {

// What a unit needs from the telephone side it is wired to; the line model
// answers for the simulator and the phone line alike.
class LinePort {
 public:
  virtual ~LinePort() = default;
  virtual bool HasVoltage(TUnitRole unit) = 0;
  virtual bool HasDialTone(TUnitRole unit) = 0;
  // The bench's 425 Hz generator, which the unit's line check listens for.
  virtual bool HasGeneratorTone(TUnitRole unit) = 0;
  virtual void Answer(TUnitRole unit) = 0;
  virtual void HangUp(TUnitRole unit) = 0;
  // Drops whatever the unit does on the line at once (clear, power loss).
  virtual void Release(TUnitRole unit) = 0;
  virtual void Transmit(TUnitRole unit, const TMessageBlock& message) = 0;
  virtual void ConfigChanged(TUnitRole unit) = 0;
  // sfAnswerer, sfCaller, sfRinging and sfOnLine as the calls stand.
  virtual std::uint8_t CallFlags(TUnitRole unit) = 0;
  virtual bool LineLamp(TUnitRole unit) = 0;
};

}  // namespace vr512b::sim
