#include "quenvar/core/eeprom_types.h"

#include <array>

namespace quenvar {

namespace {

// Captions and device texts differ in two rows on purpose: both are shown as written.
constexpr std::array<TEepromType, kEepromTypeCount> kTypes{{
    {"N24AA00", "24AA00 / 24(L)C00", "24AA00 / 24(L)C00", "16", 0, 1},
    {"N24AA01", "24AA01 / 24(L)C01B", "24AA01 / 24(L)C01B", "128", 1, 8},
    {"N24C01C", "24C01C", "24C01C", "128", 1, 16},
    {"N24AA02", "24AA02 / 24(L)C02B", "24AA02 / 24(L)C02B", "256", 2, 8},
    {"N24C02C", "24C02C", "24C02C", "256", 2, 16},
    {"N24C04a", "24C04A", "24C04A", "512", 4, 8},
    {"N24AA04", "24AA04 / 24LC04B", "24AA04 / 24(L)C04B", "512", 4, 16},
    {"N24AA08", "24AA08 / 24(L)C08B", "24AA08 / 24(L)C08B", "1024", 8, 16},
    {"N24AA16", "24AA16 / 24(L)C16B", "24AA16 / 24(L)C16B", "2048", 16, 16},
    {"N24aa32", "24AA32A / 24LC32A", "24AA32A / 24LC32A", "4096", 32, 32},
    {"N24AA64", "24AA64 / 24(L)C64", "24AA64 / 24(L)C64", "8192", 64, 32},
    {"N24AA128", "24AA128 / 24(L/F)C128", "24AA128/24(L/F)C128", "16384", 128, 64},
    {"n24AA256", "24AA256 / 24(L/F)C256", "24AA256 / 24(L/F)C256", "32768", 129, 64},
    {"N24AA512", "24AA512 / 24(L/F)C512", "24AA512 / 24(L/F)C512", "65536", 130, 128},
}};

}  // namespace

std::span<const TEepromType, kEepromTypeCount> EepromTypes() {
  return kTypes;
}

std::int32_t EepromReadSize(std::uint16_t sizeCode) {
  switch (sizeCode) {
    case 0:
      return 16;
    case 129:
      return 32768;
    case 130:
      return 65536;
    default:
      return static_cast<std::int32_t>(sizeCode) * 128;
  }
}

}  // namespace quenvar
