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
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quenvar/fileio/locked_file.h"
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

// One-off save and load, without the lock of TSimStateFile. Errors name the
// path first: "<path>: cannot read simulator state file: Is a directory".
TSimResult SaveSimStateFile(const std::string& path, const TSimAvrChip& avr,
                            const TSim24xx& socket);
TSimExpected<TSimState> LoadSimStateFile(const std::string& path);

// The state file of a run: locked from Lock to Unlock (or destruction), so two
// processes on one file take turns and neither loses the other's changes.
class TSimStateFile {
 public:
  // Opens and locks the file, creating it empty when missing (an empty file
  // holds no chips yet). While another process holds it, onWait is called
  // once and Lock waits. Anything but a regular file is refused at once.
  static TSimExpected<TSimStateFile> Lock(const std::string& path,
                                          const std::function<void()>& onWait = {});

  // The chips in the file; nothing for an empty file.
  TSimExpected<std::optional<TSimState>> Load() const;
  // Replaces the file's content atomically; the lock stays.
  TSimResult Save(const TSimAvrChip& avr, const TSim24xx& socket);
  void Unlock() { FFile.Unlock(); }
  const std::string& Path() const { return FFile.Path(); }

 private:
  explicit TSimStateFile(TLockedFile file) : FFile(std::move(file)) {}

  TLockedFile FFile;
};

}  // namespace quenvar
