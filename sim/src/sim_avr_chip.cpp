#include "quenvar/sim/sim_avr_chip.h"

#include <algorithm>

namespace quenvar {

TSimAvrChip::TSimAvrChip() = default;

TSimAvrChip::TSimAvrChip(const TSimAvrModel& model)
    : FModel(&model),
      FSignature(model.FSignature),
      FFlash(model.FFlashSize, 0xFF),
      FEeprom(model.FEepromSize, 0xFF),
      FPageBuffer(model.FFlashPage, 0xFF),
      FLow(model.FLowDefault),
      FHigh(model.FHighDefault),
      FExt(model.FExtDefault) {
  for (std::size_t i = 0; i < model.FCalibrationCount; ++i) FCalibration[i] = model.FCalibration[i];
}

TSimAvrChip TSimAvrChip::Locked(const TSimAvrModel* model) {
  TSimAvrChip chip = model ? TSimAvrChip(*model) : TSimAvrChip();
  chip.FLocked = true;
  if (model) chip.FLock = static_cast<std::uint8_t>(0xFF & ~model->FLockMask);
  return chip;
}

TSimAvrChip TSimAvrChip::WithSignature(const TSignature& signature) {
  if (const TSimAvrModel* model = FindSimAvrModelBySignature(signature)) return TSimAvrChip(*model);
  TSimAvrChip chip;
  chip.FSignature = signature;
  return chip;
}

TSimAvrChip::TSignature TSimAvrChip::Signature() const {
  if (FLocked) return {0x00, 0x01, 0x02};
  return FSignature;
}

void TSimAvrChip::SetFuseBytes(std::uint8_t lock, std::uint8_t low, std::uint8_t high,
                               std::uint8_t ext) {
  FLock = lock;
  FLow = low;
  FHigh = high;
  FExt = ext;
}

bool TSimAvrChip::EepromPreservedOnErase() const {
  if (!FModel) return false;
  const std::uint8_t bit = static_cast<std::uint8_t>(1u << FModel->FEesaveBit);
  switch (FModel->FEesaveByte) {
    case TSimFuseByte::Low:
      return (FLow & bit) == 0;
    case TSimFuseByte::High:
      return (FHigh & bit) == 0;
    case TSimFuseByte::Ext:
      return (FExt & bit) == 0;
    case TSimFuseByte::None:
      break;
  }
  return false;
}

void TSimAvrChip::Merge(std::uint8_t& target, std::uint8_t value, std::uint8_t mask) {
  target = static_cast<std::uint8_t>((target & ~mask) | (value & mask));
}

std::uint8_t TSimAvrChip::ReadOldFamily(std::uint8_t b1) const {
  const bool lb1 = FLock & 0x01;
  const bool lb2 = FLock & 0x02;
  switch (FModel->FFamily) {
    case TSimFuseFamily::Combined:
      // Read lock and fuse bits: LB1 in bit 7, LB2 in bit 6, SPIEN bit 5, fuse bit 0.
      if (b1 == 0x58) {
        return static_cast<std::uint8_t>((FLow & 0x3F) | (lb1 ? 0x80 : 0) | (lb2 ? 0x40 : 0));
      }
      return 0xFF;
    case TSimFuseFamily::FuseInOpcode:
    case TSimFuseFamily::FuseInData:
      if (b1 == 0x58) return static_cast<std::uint8_t>(0xF9 | (lb1 ? 0x02 : 0) | (lb2 ? 0x04 : 0));
      if (b1 == 0x50) return FLow;
      return 0xFF;
    case TSimFuseFamily::LockOnly:
    case TSimFuseFamily::Instruction:
      break;
  }
  return 0xFF;
}

std::uint8_t TSimAvrChip::ReadInstruction(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) const {
  if (!FModel) return 0xFF;
  // Signature and calibration reads are common to every family that has them.
  if (b1 == 0x30) return Signature()[b3 & 0x03];
  if (b1 == 0x38) {
    return (b3 < FModel->FCalibrationCount) ? FCalibration[b3] : std::uint8_t{0xFF};
  }
  if (FModel->FFamily != TSimFuseFamily::Instruction) return ReadOldFamily(b1);
  if (b1 == 0x58 && b2 == 0x00) return FLock;
  if (b1 == 0x50 && b2 == 0x00) return FLow;
  if (b1 == 0x58 && b2 == 0x08) return FHigh;
  if (b1 == 0x50 && b2 == 0x08) return FExt;
  return 0xFF;
}

void TSimAvrChip::WriteOldLock(std::uint8_t b1) {
  // 1111 1 LB2 LB1 1: a 0 programs the bit. Lock bits are only ever programmed
  // here; the chip erase clears them.
  std::uint8_t value = 0xFF;
  if ((b1 & 0x02) == 0) value &= 0xFE;
  if ((b1 & 0x04) == 0) value &= 0xFD;
  FLock &= value;
}

void TSimAvrChip::WriteInstruction(std::uint8_t b1, [[maybe_unused]] std::uint8_t b2,
                                   std::uint8_t b3) {
  if (!FModel) return;
  const TSimAvrModel& m = *FModel;
  switch (m.FFamily) {
    case TSimFuseFamily::Instruction:
      if ((b1 & 0xE0) == 0xE0) {
        // Lock bits can only be programmed; only the chip erase clears them.
        FLock &= static_cast<std::uint8_t>(b3 | ~m.FLockMask);
      } else if (b1 == 0xA0) {
        Merge(FLow, b3, m.FLowMask);
      } else if (b1 == 0xA8) {
        Merge(FHigh, b3, m.FHighMask);
      } else if (b1 == 0xA4) {
        Merge(FExt, b3, m.FExtMask);
      }
      return;
    case TSimFuseFamily::Combined:
      if ((b1 & 0xF9) == 0xF9) {
        WriteOldLock(b1);
      } else if ((b1 & 0xFE) == 0xBE) {
        Merge(FLow, b1, m.FLowMask);
      }
      return;
    case TSimFuseFamily::FuseInOpcode:
      if ((b1 & 0xF9) == 0xF9) {
        WriteOldLock(b1);
      } else if ((b1 & 0xE0) == 0xA0) {
        Merge(FLow, b1, m.FLowMask);
      }
      return;
    case TSimFuseFamily::FuseInData:
      if ((b1 & 0xF9) == 0xF9) {
        WriteOldLock(b1);
      } else if ((b1 & 0xE0) == 0xA0) {
        Merge(FLow, b3, m.FLowMask);
      }
      return;
    case TSimFuseFamily::LockOnly:
      if ((b1 & 0xF9) == 0xF9) WriteOldLock(b1);
      return;
  }
}

void TSimAvrChip::Erase() {
  std::fill(FFlash.begin(), FFlash.end(), 0xFF);
  if (!EepromPreservedOnErase()) std::fill(FEeprom.begin(), FEeprom.end(), 0xFF);
  std::fill(FPageBuffer.begin(), FPageBuffer.end(), 0xFF);
  FLock = 0xFF;
  // Only a chip we know can show its real signature again.
  if (FModel) FLocked = false;
}

std::uint8_t TSimAvrChip::ReadFlash(std::uint32_t address) const {
  if (FFlash.empty() || ReadProtected()) return 0xFF;
  return FFlash[address % FFlash.size()];
}

std::uint8_t TSimAvrChip::ReadEeprom(std::uint32_t address) const {
  if (FEeprom.empty() || ReadProtected()) return 0xFF;
  return FEeprom[address % FEeprom.size()];
}

void TSimAvrChip::LoadFlashByte(std::uint32_t address, std::uint8_t value) {
  if (FFlash.empty()) return;
  if (FPageBuffer.size() <= 1) {
    if (!WriteProtected()) FFlash[address % FFlash.size()] &= value;
    return;
  }
  FPageBuffer[address % FPageBuffer.size()] = value;
}

void TSimAvrChip::WriteFlashPage(std::uint32_t address) {
  if (FFlash.empty() || FPageBuffer.size() <= 1) return;
  const std::size_t page = FPageBuffer.size();
  const std::size_t base = (address % FFlash.size()) / page * page;
  if (!WriteProtected()) {
    for (std::size_t i = 0; i < page; ++i) FFlash[base + i] &= FPageBuffer[i];
  }
  // The page buffer is cleared after every page write.
  std::fill(FPageBuffer.begin(), FPageBuffer.end(), 0xFF);
}

void TSimAvrChip::WriteEepromByte(std::uint32_t address, std::uint8_t value) {
  if (FEeprom.empty() || WriteProtected()) return;
  FEeprom[address % FEeprom.size()] = value;
}

}  // namespace quenvar
