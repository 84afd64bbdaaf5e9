#pragma once
// The AVR chips the programmer knows, keyed by their three signature bytes.
// Read-only data compiled into the program; lookups return pointers into it,
// and a null pointer stands for "no chip identified".
//
// Per-chip protocol values used by the memory operations live here too:
// FlashPageCode() gives byte 5 of the flash write command, EepromSizeCodeFor()
// byte 3 of the EEPROM read command, EepromBytesExpected() the read length.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace quenvar {

using TSignature = std::array<std::uint8_t, 3>;

// How a chip's lock and fuse bytes are reached over the programmer.
enum class TFuseFamily : std::uint8_t {
  Instruction,   // full serial-programming instructions, separate lock/low/high/extended bytes
  CombinedByte,  // one byte carrying lock and fuse bits
  TwoByte,       // a lock byte and one fuse byte
  LockOnly,      // lock bits only, no fuse byte
};

// Finer split of the families where the bit placement differs between chips.
enum class TFuseLayout : std::uint8_t {
  Instruction,
  CombinedByte,
  TwoByteClock,  // CKSEL/BODEN/BODLEVEL/SPIEN in bits 0..5
  TwoByteTiny12,
  TwoByteTiny15,
  LockOnly,
};

struct TChipInfo {
  TSignature FSignature;
  std::string_view FName;
  std::string_view FFlashSizeText;               // shown in CodeSize exactly like this
  std::uint32_t FEepromSize;                     // bytes
  std::span<const std::string_view> FFuseItems;  // display order: lock items, then fuse items
  std::span<const std::uint8_t> FDisabledItems;  // greyed indexes into FuseItems
  bool FFuseReadAfterIdentify;
  TFuseFamily FFamily;
  TFuseLayout FLayout;
  // Instruction family only (zero elsewhere):
  std::uint8_t FLockBitCount;  // 2: bits 0,1 in item order; 6: bits 5..0
  std::uint8_t
      FExtendedFuseMask;        // bits of the extended byte shown, highest first; 0 = no such byte
  std::uint8_t FHighFuseMask;   // bits of the high byte shown, highest first
  std::uint8_t FHighWriteSkip;  // high byte bits always written as 1 (not changeable here)
  std::uint8_t FLowWriteSkip;   // low byte bits always written as 1
  std::uint8_t FCalibrationCount;  // calibration bytes read after the fuses
  // Memory operations:
  std::uint8_t FFlashPageCode;
  std::uint8_t FEepromSizeCode;
};

// All 29 rows, in the order the identification tests them.
std::span<const TChipInfo> ChipTable();

// The row whose signature equals the three bytes, or nullptr.
const TChipInfo* FindChip(const TSignature& signature);
// The row with exactly this name, or nullptr.
const TChipInfo* FindChipByName(std::string_view name);

// Whether a fuse read follows the identification; true for no chip (a locked
// device still gets its - empty - fuse read).
bool ChipNeedsFuseRead(const TChipInfo* chip);

// The flash size in bytes, the number FlashSizeText writes.
std::int64_t FlashSizeBytes(const TChipInfo& chip);

// Byte 5 of the ISP flash write command; 1 for no chip.
std::uint8_t FlashPageCode(const TChipInfo* chip);
// Byte 3 of the ISP EEPROM read command; 0 for no chip.
std::uint8_t EepromSizeCodeFor(const TChipInfo* chip);
// Bytes the EEPROM read expects: a code up to 128 is the count itself, above
// 128 it counts 256-byte blocks; 0 for no chip.
std::int32_t EepromBytesExpected(const TChipInfo* chip);

}  // namespace quenvar
