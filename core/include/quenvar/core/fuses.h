#pragma once
// Lock/fuse records of the fuse read (command 8) and fuse write (command 7),
// and the mapping of the read reply onto the check boxes. A box is checked when
// its bit is 0 (programmed). A null chip means "none identified": no records,
// no box changes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "quenvar/core/chip_table.h"
#include "quenvar/core/log_line.h"

namespace quenvar {

// Read: the first three bytes of a serial-programming read instruction.
// Write: bytes 2..4 of a write instruction; the programmer supplies the 0xAC.
using TFuseRecord = std::array<std::uint8_t, 3>;

// Records of command 8 for the chip.
std::vector<TFuseRecord> FuseReadRecords(const TChipInfo* chip);

struct TFuseBoxChange {
  std::size_t FIndex;
  bool FChecked;
};

struct TFuseReadout {
  std::vector<TFuseBoxChange> FBoxes;  // in the order they are set
  std::vector<TLogLine> FLogLines;     // calibration lines
};

// Maps the 'r' reply (reply[0] is the 'r', reply[1] answers the first record)
// onto boxes. Bytes missing from a short reply change no box and log nothing.
TFuseReadout MapFuseReply(const TChipInfo* chip, std::span<const std::uint8_t> reply);

// Records of command 7 from the boxes' checked states (index = fuse list
// index). Boxes missing from the list count as unchecked.
std::vector<TFuseRecord> FuseWriteRecords(const TChipInfo* chip, const std::vector<bool>& checked);

// Puts the records into an output report: byte 3 = count, records from byte 4.
// Sets no other byte. Records that would not fit before byte 64 are dropped
// (never happens with the records above).
void PutFuseRecords(std::span<std::uint8_t> outReport, std::span<const TFuseRecord> records);

// FuseListClickCheck: a toggled box enables bWriteFuse only for the ISP target.
inline bool FuseToggleEnablesWrite(bool avrIspChecked) {
  return avrIspChecked;
}

}  // namespace quenvar
