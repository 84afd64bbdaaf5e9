#pragma once
// The whole simulated state in one file, so separate runs see the same chips.
//
// Layout of one programmer (integers little-endian):
//   8 bytes   "QVSIMST1"
//   then the programmer's record:
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
// Several programmers (one programmer keeps the layout above, so its files
// stay readable by older builds):
//   8 bytes   "QVSIMST2"
//   1 byte    count P (1 to 8), then P records as above, programmer 1 first

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quenvar/base/result.h"
#include "quenvar/fileio/locked_file.h"
#include "quenvar/sim/sim_24xx.h"
#include "quenvar/sim/sim_avr_chip.h"

namespace quenvar {

struct TSimState {
  TSimAvrChip FAvr;
  TSim24xx FSocket;
};

std::vector<std::uint8_t> SerializeSimState(const TSimAvrChip& avr, const TSim24xx& socket);
// One file of one programmer; a file of several is refused.
TResult<TSimState> DeserializeSimState(std::span<const std::uint8_t> bytes);
// Programmer 1 first; either layout.
std::vector<std::uint8_t> SerializeSimStates(std::span<const TSimState> programmers);
TResult<std::vector<TSimState>> DeserializeSimStates(std::span<const std::uint8_t> bytes);

// One-off save and load, without the lock of TSimStateFile. Errors name the
// path first: "<path>: cannot read simulator state file: Is a directory".
TResult<void> SaveSimStateFile(const std::string& path, const TSimAvrChip& avr,
                               const TSim24xx& socket);
TResult<TSimState> LoadSimStateFile(const std::string& path);
TResult<std::vector<TSimState>> LoadSimGangStateFile(const std::string& path);

// The state file of a run: locked from Lock to Unlock (or destruction), so two
// processes on one file take turns and neither loses the other's changes.
class TSimStateFile {
 public:
  // Opens and locks the file, creating it empty when missing (an empty file
  // holds no chips yet). While another process holds it, onWait is called
  // once and Lock waits. Anything but a regular file is refused at once.
  static TResult<TSimStateFile> Lock(const std::string& path,
                                     const std::function<void()>& onWait = {});

  // The chips of each programmer in the file, programmer 1 first; none for an
  // empty file. A file of more than `programmers` is refused: saving would
  // drop the others' chips. One of fewer gives only those, and the rest start
  // fresh, so an existing file carries over when programmers are added.
  TResult<std::vector<TSimState>> Load(std::size_t programmers) const;
  // Replaces the file's content atomically; the lock stays.
  TResult<void> Save(std::span<const TSimState> programmers);
  void Unlock() { FFile.Unlock(); }
  const std::string& Path() const { return FFile.Path(); }

 private:
  explicit TSimStateFile(TLockedFile file) : FFile(std::move(file)) {}

  TLockedFile FFile;
};

}  // namespace quenvar
