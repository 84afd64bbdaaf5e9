#pragma once
// Fuse bits that cut a chip off from the ISP connector once programmed:
// RSTDISBL turns the reset pin into an I/O pin, DWEN hands it to debugWIRE.
// Only a high-voltage programmer brings such a chip back, so a write that
// would newly program one of them is asked about (window) or refused (command
// line) first.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quenvar {

// The captions among `captions` (the chip's fuse list, e.g. ChipInfo::FuseItems)
// that name an ISP-disabling bit which `toWrite` programs and `asRead` did not,
// in list order. A box is programmed when checked; a state missing from either
// list counts as unprogrammed. The views point into `captions`.
std::vector<std::string_view> NewIspDisablingBits(std::span<const std::string_view> captions,
                                                  const std::vector<bool>& asRead,
                                                  const std::vector<bool>& toWrite);

// The window's yes/no question before such a write, naming the bits, in the
// language of `languageIndex`.
std::string IspDisablingQuestion(std::span<const std::string_view> bits,
                                 std::uint8_t languageIndex);

}  // namespace quenvar
