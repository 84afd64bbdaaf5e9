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

struct ChipInfo {
  TSignature Signature;
  std::string_view Name;
  std::string_view FlashSizeText;               // shown in CodeSize exactly like this
  std::uint32_t EepromSize;                     // bytes
  std::span<const std::string_view> FuseItems;  // display order: lock items, then fuse items
  std::span<const std::uint8_t> DisabledItems;  // greyed indexes into FuseItems
  bool FuseReadAfterIdentify;
  TFuseFamily Family;
  TFuseLayout Layout;
  // Instruction family only (zero elsewhere):
  std::uint8_t LockBitCount;  // 2: bits 0,1 in item order; 6: bits 5..0
  std::uint8_t
      ExtendedFuseMask;        // bits of the extended byte shown, highest first; 0 = no such byte
  std::uint8_t HighFuseMask;   // bits of the high byte shown, highest first
  std::uint8_t HighWriteSkip;  // high byte bits always written as 1 (not changeable here)
  std::uint8_t LowWriteSkip;   // low byte bits always written as 1
  std::uint8_t CalibrationCount;  // calibration bytes read after the fuses
  // Memory operations:
  std::uint8_t FlashPageCode;
  std::uint8_t EepromSizeCode;
};

// All 29 rows, in the order the identification tests them.
std::span<const ChipInfo> ChipTable();

// The row whose signature equals the three bytes, or nullptr.
const ChipInfo* FindChip(const TSignature& signature);
// The row with exactly this name, or nullptr.
const ChipInfo* FindChipByName(std::string_view name);

// Whether a fuse read follows the identification; true for no chip (a locked
// device still gets its - empty - fuse read).
bool ChipNeedsFuseRead(const ChipInfo* chip);

// The flash size in bytes, the number FlashSizeText writes.
std::int64_t FlashSizeBytes(const ChipInfo& chip);

// Byte 5 of the ISP flash write command; 1 for no chip.
std::uint8_t FlashPageCode(const ChipInfo* chip);
// Byte 3 of the ISP EEPROM read command; 0 for no chip.
std::uint8_t EepromSizeCodeFor(const ChipInfo* chip);
// Bytes the EEPROM read expects: a code up to 128 is the count itself, above
// 128 it counts 256-byte blocks; 0 for no chip.
std::int32_t EepromBytesExpected(const ChipInfo* chip);

}  // namespace quenvar
