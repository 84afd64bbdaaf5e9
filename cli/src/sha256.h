#pragma once
// SHA-256 of an image, for the production log: which bytes went into a chip.

#include <cstdint>
#include <span>
#include <string>

namespace quenvar {

// The digest as 64 lower-case hex digits.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace quenvar
