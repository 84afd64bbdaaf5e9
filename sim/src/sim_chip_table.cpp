#include "quenvar/sim/sim_chip_table.h"

#include <algorithm>
#include <cctype>

#include "quenvar/protocol/protocol.h"

namespace quenvar {

namespace {

using F = TSimFuseFamily;
using B = TSimFuseByte;

// Factory fuse values from the datasheets; where a datasheet gives none, SPIEN
// is programmed and everything else unprogrammed. Calibration bytes differ from
// part to part on real chips; these are plausible fixed values.
// clang-format off
constexpr TSimAvrModel kAvr[] = {
    // name, signature, flash, eeprom, page, family, lock mask, write masks (low, high, ext),
    // factory values (low, high, ext), calibration count and bytes, EESAVE byte and bit
    {"AT90S1200", {0x1E, 0x90, 0x01}, 1024, 64, 1, F::LockOnly, 0x03, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, {}, B::None, 0},
    {"ATtiny12", {0x1E, 0x90, 0x05}, 1024, 64, 1, F::FuseInData, 0x03, 0xFF, 0, 0, 0xD2, 0xFF, 0xFF, 1, {0x4C}, B::None, 0},
    {"ATtiny15L", {0x1E, 0x90, 0x06}, 1024, 64, 1, F::FuseInData, 0x03, 0xF3, 0, 0, 0xDC, 0xFF, 0xFF, 1, {0x6B}, B::None, 0},
    {"ATtiny13", {0x1E, 0x90, 0x07}, 1024, 64, 32, F::Instruction, 0x03, 0x7F, 0x1F, 0, 0x6A, 0xFF, 0xFF, 1, {0x9F}, B::Low, 6},
    {"AT90S2313", {0x1E, 0x91, 0x01}, 2048, 128, 1, F::LockOnly, 0x03, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, {}, B::None, 0},
    {"AT90S/LS2323", {0x1E, 0x91, 0x02}, 2048, 128, 1, F::Combined, 0x03, 0x01, 0, 0, 0xDF, 0xFF, 0xFF, 0, {}, B::None, 0},
    {"AT90S/LS2343", {0x1E, 0x91, 0x03}, 2048, 128, 1, F::Combined, 0x03, 0x01, 0, 0, 0xDF, 0xFF, 0xFF, 0, {}, B::None, 0},
    {"AT90S/LS2333", {0x1E, 0x91, 0x05}, 2048, 128, 1, F::FuseInOpcode, 0x03, 0x1F, 0, 0, 0xDA, 0xFF, 0xFF, 0, {}, B::None, 0},
    {"ATtiny22", {0x1E, 0x91, 0x06}, 2048, 128, 1, F::Combined, 0x03, 0x01, 0, 0, 0xDF, 0xFF, 0xFF, 0, {}, B::None, 0},
    {"ATtiny26", {0x1E, 0x91, 0x09}, 2048, 128, 32, F::Instruction, 0x03, 0xFF, 0x17, 0, 0xE1, 0xF7, 0xFF, 4, {0xA3, 0xA6, 0xA9, 0xAD}, B::High, 2},
    {"ATtiny2313", {0x1E, 0x91, 0x0A}, 2048, 128, 32, F::Instruction, 0x03, 0xFF, 0xDF, 0x01, 0x64, 0xDF, 0xFF, 2, {0x5E, 0x61}, B::High, 6},
    {"AT90S/LS4433", {0x1E, 0x92, 0x03}, 4096, 256, 1, F::FuseInOpcode, 0x03, 0x1F, 0, 0, 0xDA, 0xFF, 0xFF, 0, {}, B::None, 0},
    {"ATmega48", {0x1E, 0x92, 0x05}, 4096, 256, 64, F::Instruction, 0x03, 0xFF, 0xDF, 0x01, 0x62, 0xDF, 0xFF, 1, {0x8E}, B::High, 3},
    {"AT90S8515", {0x1E, 0x93, 0x01}, 8192, 512, 1, F::LockOnly, 0x03, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, {}, B::None, 0},
    {"AT90S/LS8535", {0x1E, 0x93, 0x03}, 8192, 512, 1, F::Combined, 0x03, 0x01, 0, 0, 0xDF, 0xFF, 0xFF, 0, {}, B::None, 0},
    {"ATmega8515", {0x1E, 0x93, 0x06}, 8192, 512, 64, F::Instruction, 0x3F, 0xFF, 0xDF, 0, 0xE1, 0xD9, 0xFF, 4, {0xA1, 0xA4, 0xA8, 0xAB}, B::High, 3},
    {"ATmega8", {0x1E, 0x93, 0x07}, 8192, 512, 64, F::Instruction, 0x3F, 0xFF, 0xDF, 0, 0xE1, 0xD9, 0xFF, 4, {0xA7, 0xA9, 0xAC, 0xAE}, B::High, 3},
    {"ATmega8535", {0x1E, 0x93, 0x08}, 8192, 512, 64, F::Instruction, 0x3F, 0xFF, 0xDF, 0, 0xE1, 0xD9, 0xFF, 4, {0xA2, 0xA5, 0xA7, 0xAA}, B::High, 3},
    {"ATmega88", {0x1E, 0x93, 0x0A}, 8192, 512, 64, F::Instruction, 0x3F, 0xFF, 0xDF, 0x07, 0x62, 0xDF, 0xF9, 1, {0x93}, B::High, 3},
    {"AT90pwm2", {0x1E, 0x93, 0x93}, 8192, 512, 64, F::Instruction, 0x3F, 0xFF, 0xDF, 0xF7, 0x62, 0xDF, 0xF9, 1, {0x7C}, B::High, 3},
    {"AT90pwm3", {0x1E, 0x93, 0x81}, 8192, 512, 64, F::Instruction, 0x3F, 0xFF, 0xDF, 0xF7, 0x62, 0xDF, 0xF9, 1, {0x7E}, B::High, 3},
    {"ATmega16", {0x1E, 0x94, 0x03}, 16384, 512, 128, F::Instruction, 0x3F, 0xFF, 0xDF, 0, 0xE1, 0x99, 0xFF, 4, {0xAF, 0xB2, 0xB4, 0xB7}, B::High, 3},
    {"ATmega162", {0x1E, 0x94, 0x04}, 16384, 512, 128, F::Instruction, 0x3F, 0xFF, 0xDF, 0x1E, 0x62, 0x99, 0xFF, 1, {0x6D}, B::High, 3},
    {"ATmega169", {0x1E, 0x94, 0x05}, 16384, 512, 128, F::Instruction, 0x3F, 0xFF, 0xDF, 0x0F, 0x62, 0x99, 0xFF, 1, {0x5B}, B::High, 3},
    {"ATmega168", {0x1E, 0x94, 0x06}, 16384, 512, 128, F::Instruction, 0x3F, 0xFF, 0xDF, 0x07, 0x62, 0xDF, 0xF9, 1, {0x97}, B::High, 3},
    {"ATmega165", {0x1E, 0x94, 0x07}, 16384, 512, 128, F::Instruction, 0x3F, 0xFF, 0xDF, 0x0F, 0x62, 0x99, 0xFF, 1, {0x59}, B::High, 3},
    {"ATmega32", {0x1E, 0x95, 0x02}, 32768, 1024, 128, F::Instruction, 0x3F, 0xFF, 0xDF, 0, 0xE1, 0x99, 0xFF, 4, {0xB0, 0xB3, 0xB5, 0xB8}, B::High, 3},
    {"ATmega64", {0x1E, 0x96, 0x02}, 65536, 2048, 256, F::Instruction, 0x3F, 0xFF, 0xDF, 0x03, 0xE1, 0x99, 0xFD, 4, {0xA8, 0xAA, 0xAD, 0xB0}, B::High, 3},
    {"ATmega128", {0x1E, 0x97, 0x02}, 131072, 4096, 256, F::Instruction, 0x3F, 0xFF, 0xDF, 0x03, 0xE1, 0x99, 0xFD, 4, {0xAB, 0xAE, 0xB1, 0xB3}, B::High, 3},
};
// clang-format on

constexpr TSim24xxModel k24xx[] = {
    {"24AA00", "24AA00 / 24(L)C00", 16, 1},
    {"24AA01", "24AA01 / 24(L)C01B", 128, 8},
    {"24C01C", "24C01C", 128, 16},
    {"24AA02", "24AA02 / 24(L)C02B", 256, 8},
    {"24C02C", "24C02C", 256, 16},
    {"24C04A", "24C04A", 512, 8},
    {"24AA04", "24AA04 / 24LC04B", 512, 16},
    {"24AA08", "24AA08 / 24(L)C08B", 1024, 16},
    {"24AA16", "24AA16 / 24(L)C16B", 2048, 16},
    {"24AA32A", "24AA32A / 24LC32A", 4096, 32},
    {"24AA64", "24AA64 / 24(L)C64", 8192, 32},
    {"24AA128", "24AA128 / 24(L/F)C128", 16384, 64},
    {"24AA256", "24AA256 / 24(L/F)C256", 32768, 64},
    {"24AA512", "24AA512 / 24(L/F)C512", 65536, 128},
};

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::span<const TSimAvrModel> SimAvrModels() {
  return kAvr;
}
std::span<const TSim24xxModel> Sim24xxModels() {
  return k24xx;
}

const TSimAvrModel* FindSimAvrModel(std::string_view name) {
  for (const auto& m : kAvr) {
    if (SameText(m.FName, name)) return &m;
  }
  return nullptr;
}

const TSimAvrModel* FindSimAvrModelBySignature(const std::array<std::uint8_t, 3>& signature) {
  for (const auto& m : kAvr) {
    if (m.FSignature == signature) return &m;
  }
  return nullptr;
}

const TSim24xxModel* FindSim24xxModel(std::string_view name) {
  for (const auto& m : k24xx) {
    if (SameText(m.FShortName, name) || SameText(m.FCaption, name)) return &m;
  }
  return nullptr;
}

std::uint32_t SimFlashPageBytes(std::uint8_t pageCode) {
  // The codes above the word counts stand for the newer parts with 16, 32 and
  // 64 word pages.
  constexpr std::uint32_t kWordBytes = 2;
  if (pageCode <= kFlashPageByteWise) return 1;
  if (pageCode <= kFlashPageWordCodes) return kWordBytes * pageCode;
  const unsigned shift = std::min<unsigned>(pageCode - kFlashPage16Words, 8u);
  return (16u * kWordBytes) << shift;
}

std::uint32_t Sim24xxSizeFromCode(std::uint8_t sizeCode) {
  if (sizeCode == k24xxSizeCode16) return 16;
  if (sizeCode == k24xxSizeCode32K) return 32768;
  if (sizeCode == k24xxSizeCode64K) return 65536;
  return k24xxSizeUnit * sizeCode;
}

}  // namespace quenvar
