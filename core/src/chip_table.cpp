#include "quenvar/core/chip_table.h"

#include <algorithm>
#include <charconv>

namespace quenvar {
namespace {

using Items = std::string_view;

constexpr Items kTwoLock[] = {"Lock bit 1", "Lock bit 2"};

constexpr Items kTiny12[] = {"Lock bit 1", "Lock bit 2", "BODLEVEL", "BODEN",  "SPIEN",
                             "RSTDISBL",   "CKSEL3",     "CKSEL2",   "CKSEL1", "CKSEL0"};

constexpr Items kTiny15[] = {"Lock bit 1", "Lock bit 2", "BODLEVEL", "BODEN",
                             "SPIEN",      "RSTDISBL",   "CKSEL1",   "CKSEL0"};

constexpr Items kTiny13[] = {"Lock bit 1", "Lock bit 2", "SELFPRGEN", "DWEN",   "BODLEVEL1",
                             "BODLEVEL0",  "RSTDISBL",   "SPIEN",     "EESAVE", "WDT always on",
                             "CKDIV8",     "SUT1",       "SUT0",      "CKSEL1", "CKSEL0"};

constexpr Items kFstrt[] = {"Lock bit 1", "Lock bit 2", "FSTRT", "SPIEN"};
constexpr Items kRcen[] = {"Lock bit 1", "Lock bit 2", "RCEN", "SPIEN"};

constexpr Items kClock[] = {"Lock bit 1", "Lock bit 2", "CKSEL0",   "CKSEL1",
                            "CKSEL2",     "BODEN",      "BODLEVEL", "SPIEN"};

constexpr Items kTiny26[] = {"Lock bit 1", "Lock bit 2", "RSTDISBL", "SPIEN",  "EESAVE",
                             "BODLEVEL",   "BODEN",      "PLLCK",    "CKOPT",  "SUT1",
                             "SUT0",       "CKSEL3",     "CKSEL2",   "CKSEL1", "CKSEL0"};

constexpr Items kTiny2313[] = {"Lock bit 1", "Lock bit 2",    "SELFPRGEN", "DWEN",      "EESAVE",
                               "SPIEN",      "WDT always on", "BODLEVEL2", "BODLEVEL1", "BODLEVEL0",
                               "RSTDISBL",   "CKDIV8",        "CKOUT",     "SUT1",      "SUT0",
                               "CKSEL3",     "CKSEL2",        "CKSEL1",    "CKSEL0"};

constexpr Items kMega48[] = {"Lock bit 1", "Lock bit 2",    "SELFPRGEN", "RSTDISBL",  "DWEN",
                             "SPIEN",      "WDT always on", "EESAVE",    "BODLEVEL2", "BODLEVEL1",
                             "BODLEVEL0",  "CKDIV8",        "CKOUT",     "SUT1",      "SUT0",
                             "CKSEL3",     "CKSEL2",        "CKSEL1",    "CKSEL0"};

#define QV_SIX_LOCK                                                                             \
  "Boot lock bit 12", "Boot lock bit 11", "Boot lock bit 02", "Boot lock bit 01", "Lock bit 2", \
      "Lock bit 1"

constexpr Items kMega8515[] = {QV_SIX_LOCK, "S8515C",  "WDT always on", "SPIEN",   "CKOPT",
                               "EESAVE",    "BOOTSZ1", "BOOTSZ0",       "BOOTRST", "BODLEVEL",
                               "BODEN",     "SUT1",    "SUT0",          "CKSEL3",  "CKSEL2",
                               "CKSEL1",    "CKSEL0"};

constexpr Items kMega8[] = {QV_SIX_LOCK, "RSTDISBL", "WDT always on", "SPIEN",    "CKOPT", "EESAVE",
                            "BOOTSZ1",   "BOOTSZ0",  "BOOTRST",       "BODLEVEL", "BODEN", "SUT1",
                            "SUT0",      "CKSEL3",   "CKSEL2",        "CKSEL1",   "CKSEL0"};

constexpr Items kMega8535[] = {QV_SIX_LOCK, "S8535C",  "WDT always on", "SPIEN",   "CKOPT",
                               "EESAVE",    "BOOTSZ1", "BOOTSZ0",       "BOOTRST", "BODLEVEL",
                               "BODEN",     "SUT1",    "SUT0",          "CKSEL3",  "CKSEL2",
                               "CKSEL1",    "CKSEL0"};

constexpr Items kMega88[] = {QV_SIX_LOCK, "BOOTSZ1",   "BOOTSZ0",       "BOOTRST", "RSTDISBL",
                             "DWEN",      "SPIEN",     "WDT always on", "EESAVE",  "BODLEVEL2",
                             "BODLEVEL1", "BODLEVEL0", "CKDIV8",        "CKOUT",   "SUT1",
                             "SUT0",      "CKSEL3",    "CKSEL2",        "CKSEL1",  "CKSEL0"};

constexpr Items kPwm[] = {QV_SIX_LOCK, "PSC2RB",    "PSC1RB",        "PSC0RB",  "PSCRV",
                          "NONE",      "BOOTSZ1",   "BOOTSZ0",       "BOOTRST", "RSTDISBL",
                          "DWEN",      "SPIEN",     "WDT always on", "EESAVE",  "BODLEVEL2",
                          "BODLEVEL1", "BODLEVEL0", "CKDIV8",        "CKOUT",   "SUT1",
                          "SUT0",      "CKSEL3",    "CKSEL2",        "CKSEL1",  "CKSEL0"};

constexpr Items kMega16[] = {QV_SIX_LOCK, "Enable OCD", "Enable JTAG", "SPIEN",   "CKOPT",
                             "EESAVE",    "BOOTSZ1",    "BOOTSZ0",     "BOOTRST", "BODLEVEL",
                             "BODEN",     "SUT1",       "SUT0",        "CKSEL3",  "CKSEL2",
                             "CKSEL1",    "CKSEL0"};

constexpr Items kMega162[] = {QV_SIX_LOCK,     "ATmega161 comp. mode",
                              "BODLEVEL2",     "BODLEVEL1",
                              "BODLEVEL0",     "Enable OCD",
                              "Enable JTAG",   "SPIEN",
                              "WDT always on", "EESAVE",
                              "BOOTSZ1",       "BOOTSZ0",
                              "BOOTRST",       "CKDIV8",
                              "CKOUT",         "SUT1",
                              "SUT0",          "CKSEL3",
                              "CKSEL2",        "CKSEL1",
                              "CKSEL0"};

constexpr Items kMega169[] = {
    QV_SIX_LOCK,     "BODLEVEL2", "BODLEVEL1", "BODLEVEL0", "Enable OCD", "Enable JTAG", "SPIEN",
    "WDT always on", "EESAVE",    "BOOTSZ1",   "BOOTSZ0",   "BOOTRST",    "CKDIV8",      "CKOUT",
    "SUT1",          "SUT0",      "CKSEL3",    "CKSEL2",    "CKSEL1",     "CKSEL0"};

constexpr Items kMega64[] = {QV_SIX_LOCK,     "ATmega103 comp. mode",
                             "WDT always on", "Enable OCD",
                             "Enable JTAG",   "SPIEN",
                             "CKOPT",         "EESAVE",
                             "BOOTSZ1",       "BOOTSZ0",
                             "BOOTRST",       "BODLEVEL",
                             "BODEN",         "SUT1",
                             "SUT0",          "CKSEL3",
                             "CKSEL2",        "CKSEL1",
                             "CKSEL0"};

#undef QV_SIX_LOCK

constexpr std::span<const std::uint8_t> kNone{};
constexpr std::uint8_t kGrey3[] = {3};
constexpr std::uint8_t kGrey5[] = {5};
constexpr std::uint8_t kGrey7[] = {7};
constexpr std::uint8_t kGrey8[] = {8};
constexpr std::uint8_t kGrey10[] = {10};
constexpr std::uint8_t kGrey11[] = {11};
constexpr std::uint8_t kGrey12[] = {12};
constexpr std::uint8_t kGreyPwm[] = {10, 16};

using F = TFuseFamily;
using L = TFuseLayout;

// Fields shared by every row; the family helpers below fill in the rest.
constexpr TChipInfo Row(std::uint8_t s1, std::uint8_t s2, std::string_view name,
                        std::string_view flash, std::uint32_t eeprom,
                        std::span<const std::string_view> items, std::span<const std::uint8_t> grey,
                        std::uint8_t eeCode) {
  return {.FSignature = {0x1E, s1, s2},
          .FName = name,
          .FFlashSizeText = flash,
          .FEepromSize = eeprom,
          .FFuseItems = items,
          .FDisabledItems = grey,
          .FFuseReadAfterIdentify = true,
          .FFamily = TFuseFamily::Instruction,
          .FLayout = TFuseLayout::Instruction,
          .FLockBitCount = 0,
          .FExtendedFuseMask = 0,
          .FHighFuseMask = 0,
          .FHighWriteSkip = 0,
          .FLowWriteSkip = 0,
          .FCalibrationCount = 0,
          .FFlashPageCode = 1,
          .FEepromSizeCode = eeCode};
}

constexpr TChipInfo LockOnly(std::uint8_t s1, std::uint8_t s2, std::string_view name,
                             std::string_view flash, std::uint32_t eeprom, std::uint8_t eeCode) {
  TChipInfo chip = Row(s1, s2, name, flash, eeprom, kTwoLock, kNone, eeCode);
  chip.FFuseReadAfterIdentify = false;  // no fuse bits to read
  chip.FFamily = F::LockOnly;
  chip.FLayout = L::LockOnly;
  return chip;
}

constexpr TChipInfo Combined(std::uint8_t s1, std::uint8_t s2, std::string_view name,
                             std::string_view flash, std::uint32_t eeprom,
                             std::span<const std::string_view> items, std::uint8_t eeCode) {
  TChipInfo chip = Row(s1, s2, name, flash, eeprom, items, kGrey3, eeCode);
  chip.FFamily = F::CombinedByte;
  chip.FLayout = L::CombinedByte;
  return chip;
}

constexpr TChipInfo TwoByte(std::uint8_t s1, std::uint8_t s2, std::string_view name,
                            std::string_view flash, std::uint32_t eeprom,
                            std::span<const std::string_view> items,
                            std::span<const std::uint8_t> grey, TFuseLayout layout,
                            std::uint8_t calibration, std::uint8_t eeCode) {
  TChipInfo chip = Row(s1, s2, name, flash, eeprom, items, grey, eeCode);
  chip.FFamily = F::TwoByte;
  chip.FLayout = layout;
  chip.FCalibrationCount = calibration;
  return chip;
}

// Instruction-family chips. Unless noted, SPIEN is bit 5 of the high byte and
// is never written (it cannot be changed over the ISP connector anyway).
struct TInstr {
  std::uint8_t FLock;
  std::uint8_t FExt;
  std::uint8_t FHigh = 0xFF;
  std::uint8_t FHighSkip = 0x20;
  std::uint8_t FLowSkip = 0x00;
  std::uint8_t FCalibration = 1;
};

constexpr TChipInfo Instruction(std::uint8_t s1, std::uint8_t s2, std::string_view name,
                                std::string_view flash, std::uint32_t eeprom,
                                std::span<const std::string_view> items,
                                std::span<const std::uint8_t> grey, TInstr f, std::uint8_t page,
                                std::uint8_t eeCode) {
  TChipInfo chip = Row(s1, s2, name, flash, eeprom, items, grey, eeCode);
  chip.FLockBitCount = f.FLock;
  chip.FExtendedFuseMask = f.FExt;
  chip.FHighFuseMask = f.FHigh;
  chip.FHighWriteSkip = f.FHighSkip;
  chip.FLowWriteSkip = f.FLowSkip;
  chip.FCalibrationCount = f.FCalibration;
  chip.FFlashPageCode = page;
  return chip;
}

constexpr TChipInfo kChips[] = {
    LockOnly(0x90, 0x01, "AT90S1200", "1024", 64, 0x40),
    TwoByte(0x90, 0x05, "ATtiny12", "1024", 64, kTiny12, kNone, L::TwoByteTiny12, 1, 0x40),
    TwoByte(0x90, 0x06, "ATtiny15L", "1024", 64, kTiny15, kNone, L::TwoByteTiny15, 1, 0x40),
    Instruction(0x90, 0x07, "ATtiny13", "1024", 64, kTiny13, kGrey7,
                {.FLock = 2, .FExt = 0, .FHigh = 0x1F, .FHighSkip = 0, .FLowSkip = 0x80}, 0x81,
                0x40),
    LockOnly(0x91, 0x01, "AT90S2313", "2048", 128, 0x80),
    Combined(0x91, 0x02, "AT90S/LS2323", "2048", 128, kFstrt, 0x80),
    Combined(0x91, 0x03, "AT90S/LS2343", "2048", 128, kRcen, 0x80),
    TwoByte(0x91, 0x05, "AT90S/LS2333", "2048", 128, kClock, kGrey7, L::TwoByteClock, 0, 0x80),
    Combined(0x91, 0x06, "ATtiny22", "2048", 128, kRcen, 0x80),
    Instruction(0x91, 0x09, "ATtiny26", "2048", 128, kTiny26, kGrey3,
                {.FLock = 2, .FExt = 0, .FHigh = 0x1F, .FHighSkip = 0x08, .FCalibration = 4}, 0x10,
                0x80),
    Instruction(0x91, 0x0A, "ATtiny2313", "2048", 128, kTiny2313, kGrey5,
                {.FLock = 2, .FExt = 0x01, .FCalibration = 2}, 0x81, 0x80),
    TwoByte(0x92, 0x03, "AT90S/LS4433", "4096", 256, kClock, kGrey7, L::TwoByteClock, 0, 0x81),
    Instruction(0x92, 0x05, "ATmega48", "4096", 256, kMega48, kGrey5, {.FLock = 2, .FExt = 0x01},
                0x82, 0x81),
    LockOnly(0x93, 0x01, "AT90S8515", "8192", 512, 0x82),
    Combined(0x93, 0x03, "AT90S/LS8535", "8192", 512, kFstrt, 0x82),
    Instruction(0x93, 0x06, "ATmega8515", "8192", 512, kMega8515, kGrey8, {.FLock = 6, .FExt = 0},
                0x20, 0x82),
    Instruction(0x93, 0x07, "ATmega8", "8192", 512, kMega8, kGrey8,
                {.FLock = 6, .FExt = 0, .FCalibration = 4}, 0x20, 0x82),
    Instruction(0x93, 0x08, "ATmega8535", "8192", 512, kMega8535, kGrey8,
                {.FLock = 6, .FExt = 0, .FCalibration = 4}, 0x20, 0x82),
    Instruction(0x93, 0x0A, "ATmega88", "8192", 512, kMega88, kGrey11, {.FLock = 6, .FExt = 0x07},
                0x82, 0x82),
    Instruction(0x93, 0x93, "AT90pwm2", "8192", 512, kPwm, kGreyPwm, {.FLock = 6, .FExt = 0xFF},
                0x82, 0x82),
    Instruction(0x93, 0x81, "AT90pwm3", "8192", 512, kPwm, kGreyPwm, {.FLock = 6, .FExt = 0xFF},
                0x82, 0x82),
    Instruction(0x94, 0x03, "ATmega16", "16384", 512, kMega16, kGrey8, {.FLock = 6, .FExt = 0},
                0x40, 0x82),
    Instruction(0x94, 0x04, "ATmega162", "16384", 512, kMega162, kGrey12,
                {.FLock = 6, .FExt = 0x1E}, 0x40, 0x82),
    Instruction(0x94, 0x05, "ATmega169", "16384", 512, kMega169, kGrey11,
                {.FLock = 6, .FExt = 0x0E}, 0x40, 0x82),
    Instruction(0x94, 0x06, "ATmega168", "16384", 512, kMega88, kGrey11, {.FLock = 6, .FExt = 0x07},
                0x83, 0x82),
    Instruction(0x94, 0x07, "ATmega165", "16384", 512, kMega169, kGrey11,
                {.FLock = 6, .FExt = 0x0E}, 0x40, 0x82),
    Instruction(0x95, 0x02, "ATmega32", "32768", 1024, kMega16, kGrey8,
                {.FLock = 6, .FExt = 0, .FCalibration = 4}, 0x40, 0x84),
    Instruction(0x96, 0x02, "ATmega64", "65536", 2048, kMega64, kGrey10,
                {.FLock = 6, .FExt = 0x03, .FCalibration = 4}, 0x80, 0x88),
    Instruction(0x97, 0x02, "ATmega128", "131072", 4096, kMega64, kGrey10,
                {.FLock = 6, .FExt = 0x03, .FCalibration = 4}, 0x80, 0x90),
};

}  // namespace

std::span<const TChipInfo> ChipTable() {
  return kChips;
}

const TChipInfo* FindChip(const TSignature& signature) {
  for (const TChipInfo& chip : kChips) {
    if (chip.FSignature[0] == signature[0] && chip.FSignature[1] == signature[1] &&
        chip.FSignature[2] == signature[2]) {
      return &chip;
    }
  }
  return nullptr;
}

const TChipInfo* FindChipByName(std::string_view name) {
  const auto* it = std::find_if(std::begin(kChips), std::end(kChips),
                                [name](const TChipInfo& chip) { return chip.FName == name; });
  return it == std::end(kChips) ? nullptr : it;
}

bool ChipNeedsFuseRead(const TChipInfo* chip) {
  return chip == nullptr || chip->FFuseReadAfterIdentify;
}

std::int64_t FlashSizeBytes(const TChipInfo& chip) {
  std::int64_t bytes = 0;
  std::from_chars(chip.FFlashSizeText.data(),
                  chip.FFlashSizeText.data() + chip.FFlashSizeText.size(), bytes);
  return bytes;
}

std::uint8_t FlashPageCode(const TChipInfo* chip) {
  return chip ? chip->FFlashPageCode : 1;
}

std::uint8_t EepromSizeCodeFor(const TChipInfo* chip) {
  return chip ? chip->FEepromSizeCode : 0;
}

std::int32_t EepromBytesExpected(const TChipInfo* chip) {
  const std::int32_t code = EepromSizeCodeFor(chip);
  return code <= 128 ? code : (code - 128) * 256;
}

}  // namespace quenvar
