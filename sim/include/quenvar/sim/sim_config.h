#pragma once
// The simulated programmer's setup from one text, as given to --simulate=TEXT:
// comma-separated NAME=VALUE items, e.g. "isp=ATmega8,socket=24AA256,timing=real".
//   isp=CHIP          a fresh chip of the table (case-insensitive name)
//   isp=locked        a chip that answers 00 01 02 and stays so
//   isp=locked:CHIP   a locked CHIP; a chip erase reveals it
//   isp=none          no chip: everything reads FF
//   isp=sig:HHHHHH    any signature (a table signature gives that chip)
//   socket=NAME       the 24xx type in the socket, e.g. 24AA256
//   timing=none|real  replies at once, or with USB frame and programming times
//   state=PATH        file that keeps the simulated chips between runs
//   programmers=N     N programmers at once (1 to 8), each with its own chips
//   chips=K           the ISP socket holds K chips in turn, one per chain
//                     (see TSimProgrammer::ChainEnded)
// The empty text gives the defaults: ATmega8, 24AA256, real timing, no file,
// one programmer whose chip stays in its socket.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quenvar/base/result.h"
#include "quenvar/sim/sim_avr_chip.h"

namespace quenvar {

// A production line rarely has more than a hub's worth of programmers; more
// would only slow every chain down on one event loop.
inline constexpr std::uint32_t kMaxSimProgrammers = 8;
inline constexpr std::uint32_t kMaxSimChips = 1000000;

enum class TSimIspKind : std::uint8_t { Chip, Locked, None, Signature };

struct TSimIspSetup {
  TSimIspKind FKind = TSimIspKind::Chip;
  std::string FChipName = "ATmega8";         // Chip, and Locked when not empty
  std::array<std::uint8_t, 3> FSignature{};  // Signature only

  bool operator==(const TSimIspSetup&) const = default;
};

struct TSimConfig {
  TSimIspSetup FIsp;
  std::string FSocket = "24AA256";
  bool FRealTiming = true;
  std::string FStatePath;
  std::uint32_t FProgrammers = 1;
  // Chips each ISP socket holds in turn; none: one chip that stays for good.
  std::optional<std::uint32_t> FChips;

  bool operator==(const TSimConfig&) const = default;
};

TResult<TSimConfig> ParseSimConfig(std::string_view text);

// The chip a setup describes, fresh from the factory.
TSimAvrChip MakeSimAvrChip(const TSimIspSetup& setup);

}  // namespace quenvar
