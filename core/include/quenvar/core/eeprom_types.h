#pragma once
// The 24xx serial EEPROM types of the socket, in the order of their menu.

#include <cstddef>
#include <cstdint>
#include <span>

namespace quenvar {

struct TEepromType {
  const char* FMenuName;    // menu entry under `nSerialEeprom`
  const char* FCaption;     // menu caption
  const char* FDeviceText;  // what `Device` shows
  const char* FSizeText;    // what `CodeSize` shows
  std::uint16_t FSizeCode;  // `EepromSizeCode`
  std::uint16_t FPageSize;  // `EepromPageSize`
};

inline constexpr std::size_t kEepromTypeCount = 14;

// All rows, index = position in the menu (also the persisted "Last Device").
std::span<const TEepromType, kEepromTypeCount> EepromTypes();

// Bytes a read of the whole 24xx EEPROM expects for a size code.
std::int32_t EepromReadSize(std::uint16_t sizeCode);

}  // namespace quenvar
