#pragma once
// The AVR on the simulated ISP connector: its memories, fuse, lock and
// calibration bytes, and how it executes serial-programming instructions.

#include <array>
#include <cstdint>
#include <vector>

#include "quenvar/sim/sim_chip_table.h"

namespace quenvar {

class TSimAvrChip {
 public:
  using TSignature = std::array<std::uint8_t, 3>;

  // No chip on the connector: every read gives FF.
  TSimAvrChip();
  // A fresh chip of the table: erased memories, factory fuses.
  explicit TSimAvrChip(const TSimAvrModel& model);

  static TSimAvrChip None() { return TSimAvrChip(); }
  // A chip that reads its signature as 00 01 02 until a chip erase. With a
  // model the erase reveals that chip; without one it stays locked.
  static TSimAvrChip Locked(const TSimAvrModel* model);
  // Any signature; a table signature gives that chip, others a chip without
  // memories.
  static TSimAvrChip WithSignature(const TSignature& signature);

  const TSimAvrModel* Model() const { return FModel; }
  // The signature the chip answers with (00 01 02 while locked).
  TSignature Signature() const;
  // The chip's own signature, whatever it answers.
  const TSignature& RawSignature() const { return FSignature; }
  bool IsLocked() const { return FLocked; }

  std::vector<std::uint8_t>& Flash() { return FFlash; }
  const std::vector<std::uint8_t>& Flash() const { return FFlash; }
  std::vector<std::uint8_t>& Eeprom() { return FEeprom; }
  const std::vector<std::uint8_t>& Eeprom() const { return FEeprom; }

  // Lock bits: LB1 = bit 0, LB2 = bit 1, boot lock bits 2..5 (0 = programmed).
  std::uint8_t LockByte() const { return FLock; }
  std::uint8_t LowFuse() const { return FLow; }
  std::uint8_t HighFuse() const { return FHigh; }
  std::uint8_t ExtFuse() const { return FExt; }
  const std::array<std::uint8_t, 4>& Calibration() const { return FCalibration; }

  // Raw state, for the state file and for tests that set up a chip.
  void SetFuseBytes(std::uint8_t lock, std::uint8_t low, std::uint8_t high, std::uint8_t ext);
  void SetCalibration(const std::array<std::uint8_t, 4>& calibration) {
    FCalibration = calibration;
  }
  void SetLocked(bool locked) { FLocked = locked; }

  // Lock mode 2 or 3: flash and EEPROM are no longer programmed.
  bool WriteProtected() const { return (FLock & 0x01) == 0; }
  // Lock mode 3: flash and EEPROM read back as FF.
  bool ReadProtected() const { return (FLock & 0x03) == 0; }
  bool EepromPreservedOnErase() const;

  // Serial programming. A read instruction returns the chip's fourth byte; a
  // write instruction is 0xAC followed by the three record bytes.
  std::uint8_t ReadInstruction(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) const;
  void WriteInstruction(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3);

  // Chip erase: flash FF, EEPROM FF unless EESAVE is programmed, lock bits
  // unprogrammed, and a locked chip shows its signature again.
  void Erase();

  // Reads wrap at the memory size, as the chip ignores the upper address bits.
  std::uint8_t ReadFlash(std::uint32_t address) const;
  std::uint8_t ReadEeprom(std::uint32_t address) const;

  // "Write program memory" of the byte-wise parts, which is "load page buffer"
  // on the paged ones. Flash programming only clears bits.
  void LoadFlashByte(std::uint32_t address, std::uint8_t value);
  // "Write program memory page" at an address; the byte-wise parts ignore it.
  void WriteFlashPage(std::uint32_t address);
  void WriteEepromByte(std::uint32_t address, std::uint8_t value);

 private:
  std::uint8_t ReadOldFamily(std::uint8_t b1) const;
  void WriteOldLock(std::uint8_t b1);
  static void Merge(std::uint8_t& target, std::uint8_t value, std::uint8_t mask);

  const TSimAvrModel* FModel = nullptr;
  TSignature FSignature{0xFF, 0xFF, 0xFF};
  bool FLocked = false;
  std::vector<std::uint8_t> FFlash;
  std::vector<std::uint8_t> FEeprom;
  std::vector<std::uint8_t> FPageBuffer;
  std::uint8_t FLock = 0xFF;
  std::uint8_t FLow = 0xFF;
  std::uint8_t FHigh = 0xFF;
  std::uint8_t FExt = 0xFF;
  std::array<std::uint8_t, 4> FCalibration{0xFF, 0xFF, 0xFF, 0xFF};
};

}  // namespace quenvar
