#pragma once
// The whole simulated state in one file, so separate runs see the same chips.
//
// Layout (integers little-endian):
//   8 bytes   "QVSIMST1"
//   1 byte    length N, then N bytes: AVR chip name of the table (empty: no table chip)
//   3 bytes   the chip's own signature
//   1 byte    1 when the chip answers as locked (00 01 02), else 0
//   4 bytes   lock, low, high and extended fuse byte (lock: LB1 = bit 0, LB2 = bit 1,
//             boot lock bits 2..5; older parts keep their fuse byte in "low")
//   4 bytes   calibration bytes 0 to 3
//   4 bytes   flash length F, then F bytes (F is the chip's flash size, 0 without chip)
//   4 bytes   EEPROM length E, then E bytes
//   1 byte    length M, then M bytes: 24xx short name, e.g. "24AA256"
//   4 bytes   24xx length S (the type's size), then S bytes

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "quenvar/sim/sim_24xx.h"
#include "quenvar/sim/sim_avr_chip.h"
#include "quenvar/sim/sim_result.h"

namespace quenvar {

struct TSimState {
  TSimAvrChip Avr;
  TSim24xx Socket;
};

std::vector<std::uint8_t> SerializeSimState(const TSimAvrChip& avr, const TSim24xx& socket);
TSimExpected<TSimState> DeserializeSimState(std::span<const std::uint8_t> bytes);

TSimResult SaveSimStateFile(const std::string& path, const TSimAvrChip& avr,
                            const TSim24xx& socket);
TSimExpected<TSimState> LoadSimStateFile(const std::string& path);

}  // namespace quenvar
