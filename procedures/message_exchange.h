#pragma once

#include <cstdint>

#include "procedures/procedure_host.h"

namespace vr512b {

// One unit transmits a series of messages in one format while the other
// receives them; every check that fails ends the test. The calling test has
// opened both units.
void ExchangeDataMessages(ProcedureHost& host, TUnitRole transmitter, std::uint8_t format,
                          bool attenuated);
void ExchangeKorvexData(ProcedureHost& host, TUnitRole transmitter);
void ExchangeLineMessages(ProcedureHost& host, TUnitRole transmitter, std::uint8_t format);

}  // namespace vr512b
