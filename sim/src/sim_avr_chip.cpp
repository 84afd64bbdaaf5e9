#include "quenvar/sim/sim_avr_chip.h"

#include <algorithm>

namespace quenvar {

TSimAvrChip::TSimAvrChip() = default;

TSimAvrChip::TSimAvrChip(const TSimAvrModel& model)
    : Model_(&model),
      Signature_(model.Signature),
      Flash_(model.FlashSize, 0xFF),
      Eeprom_(model.EepromSize, 0xFF),
      PageBuffer_(model.FlashPage, 0xFF),
      Low_(model.LowDefault),
      High_(model.HighDefault),
      Ext_(model.ExtDefault) {
  for (std::size_t i = 0; i < model.CalibrationCount; ++i) Calibration_[i] = model.Calibration[i];
}

TSimAvrChip TSimAvrChip::Locked(const TSimAvrModel* model) {
  TSimAvrChip chip = model ? TSimAvrChip(*model) : TSimAvrChip();
  chip.Locked_ = true;
  if (model) chip.Lock_ = static_cast<std::uint8_t>(0xFF & ~model->LockMask);
  return chip;
}

TSimAvrChip TSimAvrChip::WithSignature(const TSignature& signature) {
  if (const TSimAvrModel* model = FindSimAvrModelBySignature(signature)) return TSimAvrChip(*model);
  TSimAvrChip chip;
  chip.Signature_ = signature;
  return chip;
}

TSimAvrChip::TSignature TSimAvrChip::Signature() const {
  if (Locked_) return {0x00, 0x01, 0x02};
  return Signature_;
}

void TSimAvrChip::SetFuseBytes(std::uint8_t lock, std::uint8_t low, std::uint8_t high,
                               std::uint8_t ext) {
  Lock_ = lock;
  Low_ = low;
  High_ = high;
  Ext_ = ext;
}

bool TSimAvrChip::EepromPreservedOnErase() const {
  if (!Model_) return false;
  const std::uint8_t bit = static_cast<std::uint8_t>(1u << Model_->EesaveBit);
  switch (Model_->EesaveByte) {
    case TSimFuseByte::Low:
      return (Low_ & bit) == 0;
    case TSimFuseByte::High:
      return (High_ & bit) == 0;
    case TSimFuseByte::Ext:
      return (Ext_ & bit) == 0;
    case TSimFuseByte::None:
      break;
  }
  return false;
}

void TSimAvrChip::Merge(std::uint8_t& target, std::uint8_t value, std::uint8_t mask) {
  target = static_cast<std::uint8_t>((target & ~mask) | (value & mask));
}

std::uint8_t TSimAvrChip::ReadOldFamily(std::uint8_t b1) const {
  const bool lb1 = Lock_ & 0x01;
  const bool lb2 = Lock_ & 0x02;
  switch (Model_->Family) {
    case TSimFuseFamily::Combined:
      // Read lock and fuse bits: LB1 in bit 7, LB2 in bit 6, SPIEN bit 5, fuse bit 0.
      if (b1 == 0x58) {
        return static_cast<std::uint8_t>((Low_ & 0x3F) | (lb1 ? 0x80 : 0) | (lb2 ? 0x40 : 0));
      }
      return 0xFF;
    case TSimFuseFamily::FuseInOpcode:
    case TSimFuseFamily::FuseInData:
      if (b1 == 0x58) return static_cast<std::uint8_t>(0xF9 | (lb1 ? 0x02 : 0) | (lb2 ? 0x04 : 0));
      if (b1 == 0x50) return Low_;
      return 0xFF;
    case TSimFuseFamily::LockOnly:
    case TSimFuseFamily::Instruction:
      break;
  }
  return 0xFF;
}

std::uint8_t TSimAvrChip::ReadInstruction(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) const {
  if (!Model_) return 0xFF;
  // Signature and calibration reads are common to every family that has them.
  if (b1 == 0x30) return Signature()[b3 & 0x03];
  if (b1 == 0x38) {
    return (b3 < Model_->CalibrationCount) ? Calibration_[b3] : std::uint8_t{0xFF};
  }
  if (Model_->Family != TSimFuseFamily::Instruction) return ReadOldFamily(b1);
  if (b1 == 0x58 && b2 == 0x00) return Lock_;
  if (b1 == 0x50 && b2 == 0x00) return Low_;
  if (b1 == 0x58 && b2 == 0x08) return High_;
  if (b1 == 0x50 && b2 == 0x08) return Ext_;
  return 0xFF;
}

void TSimAvrChip::WriteOldLock(std::uint8_t b1) {
  // 1111 1 LB2 LB1 1: a 0 programs the bit. Lock bits are only ever programmed
  // here; the chip erase clears them.
  std::uint8_t value = 0xFF;
  if ((b1 & 0x02) == 0) value &= 0xFE;
  if ((b1 & 0x04) == 0) value &= 0xFD;
  Lock_ &= value;
}

void TSimAvrChip::WriteInstruction(std::uint8_t b1, [[maybe_unused]] std::uint8_t b2,
                                   std::uint8_t b3) {
  if (!Model_) return;
  const TSimAvrModel& m = *Model_;
  switch (m.Family) {
    case TSimFuseFamily::Instruction:
      if ((b1 & 0xE0) == 0xE0) {
        // Lock bits can only be programmed; only the chip erase clears them.
        Lock_ &= static_cast<std::uint8_t>(b3 | ~m.LockMask);
      } else if (b1 == 0xA0) {
        Merge(Low_, b3, m.LowMask);
      } else if (b1 == 0xA8) {
        Merge(High_, b3, m.HighMask);
      } else if (b1 == 0xA4) {
        Merge(Ext_, b3, m.ExtMask);
      }
      return;
    case TSimFuseFamily::Combined:
      if ((b1 & 0xF9) == 0xF9) {
        WriteOldLock(b1);
      } else if ((b1 & 0xFE) == 0xBE) {
        Merge(Low_, b1, m.LowMask);
      }
      return;
    case TSimFuseFamily::FuseInOpcode:
      if ((b1 & 0xF9) == 0xF9) {
        WriteOldLock(b1);
      } else if ((b1 & 0xE0) == 0xA0) {
        Merge(Low_, b1, m.LowMask);
      }
      return;
    case TSimFuseFamily::FuseInData:
      if ((b1 & 0xF9) == 0xF9) {
        WriteOldLock(b1);
      } else if ((b1 & 0xE0) == 0xA0) {
        Merge(Low_, b3, m.LowMask);
      }
      return;
    case TSimFuseFamily::LockOnly:
      if ((b1 & 0xF9) == 0xF9) WriteOldLock(b1);
      return;
  }
}

void TSimAvrChip::Erase() {
  std::fill(Flash_.begin(), Flash_.end(), 0xFF);
  if (!EepromPreservedOnErase()) std::fill(Eeprom_.begin(), Eeprom_.end(), 0xFF);
  std::fill(PageBuffer_.begin(), PageBuffer_.end(), 0xFF);
  Lock_ = 0xFF;
  // Only a chip we know can show its real signature again.
  if (Model_) Locked_ = false;
}

std::uint8_t TSimAvrChip::ReadFlash(std::uint32_t address) const {
  if (Flash_.empty() || ReadProtected()) return 0xFF;
  return Flash_[address % Flash_.size()];
}

std::uint8_t TSimAvrChip::ReadEeprom(std::uint32_t address) const {
  if (Eeprom_.empty() || ReadProtected()) return 0xFF;
  return Eeprom_[address % Eeprom_.size()];
}

void TSimAvrChip::LoadFlashByte(std::uint32_t address, std::uint8_t value) {
  if (Flash_.empty()) return;
  if (PageBuffer_.size() <= 1) {
    if (!WriteProtected()) Flash_[address % Flash_.size()] &= value;
    return;
  }
  PageBuffer_[address % PageBuffer_.size()] = value;
}

void TSimAvrChip::WriteFlashPage(std::uint32_t address) {
  if (Flash_.empty() || PageBuffer_.size() <= 1) return;
  const std::size_t page = PageBuffer_.size();
  const std::size_t base = (address % Flash_.size()) / page * page;
  if (!WriteProtected()) {
    for (std::size_t i = 0; i < page; ++i) Flash_[base + i] &= PageBuffer_[i];
  }
  // The page buffer is cleared after every page write.
  std::fill(PageBuffer_.begin(), PageBuffer_.end(), 0xFF);
}

void TSimAvrChip::WriteEepromByte(std::uint32_t address, std::uint8_t value) {
  if (Eeprom_.empty() || WriteProtected()) return;
  Eeprom_[address % Eeprom_.size()] = value;
}

}  // namespace quenvar
