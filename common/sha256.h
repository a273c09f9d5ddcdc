#pragma once

// SHA-256 (FIPS 180-4): the digest a stored text keeps beside it, so that a
// text damaged on disk is told from the one that was written.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vr512b {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest Sha256(std::string_view bytes);

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace vr512b
