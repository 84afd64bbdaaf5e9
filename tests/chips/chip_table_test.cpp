#include "quenvar/core/chip_table.h"

#include <gtest/gtest.h>

#include <string>

#include "chip_test_util.h"

namespace quenvar {
namespace {

struct RowCase {
  std::uint8_t Sig1, Sig2;
  const char* Name;
  const char* Flash;
  std::uint32_t Eeprom;
  std::vector<std::uint8_t> Greyed;
  bool FuseRead;
  TFuseFamily Family;
  std::uint8_t PageCode;
  std::uint8_t EepromCode;
  std::int32_t EepromBytes;
};

constexpr const char* kSix =
    "Boot lock bit 12|Boot lock bit 11|Boot lock bit 02|Boot lock bit 01|Lock bit 2|Lock bit 1|";
constexpr const char* kTwo = "Lock bit 1|Lock bit 2";

std::string Six(const char* rest) {
  return std::string(kSix) + rest;
}
std::string Two(const char* rest) {
  return std::string(kTwo) + "|" + rest;
}

const std::string kMega16Items =
    Six("Enable OCD|Enable JTAG|SPIEN|CKOPT|EESAVE|BOOTSZ1|BOOTSZ0|BOOTRST|BODLEVEL|BODEN|SUT1|"
        "SUT0|CKSEL3|CKSEL2|CKSEL1|CKSEL0");
const std::string kMega88Items =
    Six("BOOTSZ1|BOOTSZ0|BOOTRST|RSTDISBL|DWEN|SPIEN|WDT always on|EESAVE|BODLEVEL2|BODLEVEL1|"
        "BODLEVEL0|CKDIV8|CKOUT|SUT1|SUT0|CKSEL3|CKSEL2|CKSEL1|CKSEL0");
const std::string kPwmItems =
    Six("PSC2RB|PSC1RB|PSC0RB|PSCRV|NONE|BOOTSZ1|BOOTSZ0|BOOTRST|RSTDISBL|DWEN|SPIEN|"
        "WDT always on|EESAVE|BODLEVEL2|BODLEVEL1|BODLEVEL0|CKDIV8|CKOUT|SUT1|SUT0|CKSEL3|"
        "CKSEL2|CKSEL1|CKSEL0");
const std::string kMega169Items =
    Six("BODLEVEL2|BODLEVEL1|BODLEVEL0|Enable OCD|Enable JTAG|SPIEN|WDT always on|EESAVE|"
        "BOOTSZ1|BOOTSZ0|BOOTRST|CKDIV8|CKOUT|SUT1|SUT0|CKSEL3|CKSEL2|CKSEL1|CKSEL0");
const std::string kMega64Items =
    Six("ATmega103 comp. mode|WDT always on|Enable OCD|Enable JTAG|SPIEN|CKOPT|EESAVE|BOOTSZ1|"
        "BOOTSZ0|BOOTRST|BODLEVEL|BODEN|SUT1|SUT0|CKSEL3|CKSEL2|CKSEL1|CKSEL0");
const std::string kClockItems = Two("CKSEL0|CKSEL1|CKSEL2|BODEN|BODLEVEL|SPIEN");

using F = TFuseFamily;

// Transcribed row by row from the chip list, with the page and EEPROM codes of
// the memory operations.
const std::vector<std::pair<RowCase, std::string>>& Rows() {
  static const std::vector<std::pair<RowCase, std::string>> rows = {
      {{0x90, 0x01, "AT90S1200", "1024", 64, {}, false, F::LockOnly, 1, 0x40, 64}, kTwo},
      {{0x90, 0x05, "ATtiny12", "1024", 64, {}, true, F::TwoByte, 1, 0x40, 64},
       Two("BODLEVEL|BODEN|SPIEN|RSTDISBL|CKSEL3|CKSEL2|CKSEL1|CKSEL0")},
      {{0x90, 0x06, "ATtiny15L", "1024", 64, {}, true, F::TwoByte, 1, 0x40, 64},
       Two("BODLEVEL|BODEN|SPIEN|RSTDISBL|CKSEL1|CKSEL0")},
      {{0x90, 0x07, "ATtiny13", "1024", 64, {7}, true, F::Instruction, 0x81, 0x40, 64},
       Two("SELFPRGEN|DWEN|BODLEVEL1|BODLEVEL0|RSTDISBL|SPIEN|EESAVE|WDT always on|CKDIV8|SUT1|"
           "SUT0|CKSEL1|CKSEL0")},
      {{0x91, 0x01, "AT90S2313", "2048", 128, {}, false, F::LockOnly, 1, 0x80, 128}, kTwo},
      {{0x91, 0x02, "AT90S/LS2323", "2048", 128, {3}, true, F::CombinedByte, 1, 0x80, 128},
       Two("FSTRT|SPIEN")},
      {{0x91, 0x03, "AT90S/LS2343", "2048", 128, {3}, true, F::CombinedByte, 1, 0x80, 128},
       Two("RCEN|SPIEN")},
      {{0x91, 0x05, "AT90S/LS2333", "2048", 128, {7}, true, F::TwoByte, 1, 0x80, 128}, kClockItems},
      {{0x91, 0x06, "ATtiny22", "2048", 128, {3}, true, F::CombinedByte, 1, 0x80, 128},
       Two("RCEN|SPIEN")},
      {{0x91, 0x09, "ATtiny26", "2048", 128, {3}, true, F::Instruction, 0x10, 0x80, 128},
       Two("RSTDISBL|SPIEN|EESAVE|BODLEVEL|BODEN|PLLCK|CKOPT|SUT1|SUT0|CKSEL3|CKSEL2|CKSEL1|"
           "CKSEL0")},
      {{0x91, 0x0A, "ATtiny2313", "2048", 128, {5}, true, F::Instruction, 0x81, 0x80, 128},
       Two("SELFPRGEN|DWEN|EESAVE|SPIEN|WDT always on|BODLEVEL2|BODLEVEL1|BODLEVEL0|RSTDISBL|"
           "CKDIV8|CKOUT|SUT1|SUT0|CKSEL3|CKSEL2|CKSEL1|CKSEL0")},
      {{0x92, 0x03, "AT90S/LS4433", "4096", 256, {7}, true, F::TwoByte, 1, 0x81, 256}, kClockItems},
      {{0x92, 0x05, "ATmega48", "4096", 256, {5}, true, F::Instruction, 0x82, 0x81, 256},
       Two("SELFPRGEN|RSTDISBL|DWEN|SPIEN|WDT always on|EESAVE|BODLEVEL2|BODLEVEL1|BODLEVEL0|"
           "CKDIV8|CKOUT|SUT1|SUT0|CKSEL3|CKSEL2|CKSEL1|CKSEL0")},
      {{0x93, 0x01, "AT90S8515", "8192", 512, {}, false, F::LockOnly, 1, 0x82, 512}, kTwo},
      {{0x93, 0x03, "AT90S/LS8535", "8192", 512, {3}, true, F::CombinedByte, 1, 0x82, 512},
       Two("FSTRT|SPIEN")},
      {{0x93, 0x06, "ATmega8515", "8192", 512, {8}, true, F::Instruction, 0x20, 0x82, 512},
       Six("S8515C|WDT always on|SPIEN|CKOPT|EESAVE|BOOTSZ1|BOOTSZ0|BOOTRST|BODLEVEL|BODEN|SUT1|"
           "SUT0|CKSEL3|CKSEL2|CKSEL1|CKSEL0")},
      {{0x93, 0x07, "ATmega8", "8192", 512, {8}, true, F::Instruction, 0x20, 0x82, 512},
       Six("RSTDISBL|WDT always on|SPIEN|CKOPT|EESAVE|BOOTSZ1|BOOTSZ0|BOOTRST|BODLEVEL|BODEN|"
           "SUT1|SUT0|CKSEL3|CKSEL2|CKSEL1|CKSEL0")},
      {{0x93, 0x08, "ATmega8535", "8192", 512, {8}, true, F::Instruction, 0x20, 0x82, 512},
       Six("S8535C|WDT always on|SPIEN|CKOPT|EESAVE|BOOTSZ1|BOOTSZ0|BOOTRST|BODLEVEL|BODEN|SUT1|"
           "SUT0|CKSEL3|CKSEL2|CKSEL1|CKSEL0")},
      {{0x93, 0x0A, "ATmega88", "8192", 512, {11}, true, F::Instruction, 0x82, 0x82, 512},
       kMega88Items},
      {{0x93, 0x93, "AT90pwm2", "8192", 512, {10, 16}, true, F::Instruction, 0x82, 0x82, 512},
       kPwmItems},
      {{0x93, 0x81, "AT90pwm3", "8192", 512, {10, 16}, true, F::Instruction, 0x82, 0x82, 512},
       kPwmItems},
      {{0x94, 0x03, "ATmega16", "16384", 512, {8}, true, F::Instruction, 0x40, 0x82, 512},
       kMega16Items},
      {{0x94, 0x04, "ATmega162", "16384", 512, {12}, true, F::Instruction, 0x40, 0x82, 512},
       Six("ATmega161 comp. mode|BODLEVEL2|BODLEVEL1|BODLEVEL0|Enable OCD|Enable JTAG|SPIEN|"
           "WDT always on|EESAVE|BOOTSZ1|BOOTSZ0|BOOTRST|CKDIV8|CKOUT|SUT1|SUT0|CKSEL3|CKSEL2|"
           "CKSEL1|CKSEL0")},
      {{0x94, 0x05, "ATmega169", "16384", 512, {11}, true, F::Instruction, 0x40, 0x82, 512},
       kMega169Items},
      {{0x94, 0x06, "ATmega168", "16384", 512, {11}, true, F::Instruction, 0x83, 0x82, 512},
       kMega88Items},
      {{0x94, 0x07, "ATmega165", "16384", 512, {11}, true, F::Instruction, 0x40, 0x82, 512},
       kMega169Items},
      {{0x95, 0x02, "ATmega32", "32768", 1024, {8}, true, F::Instruction, 0x40, 0x84, 1024},
       kMega16Items},
      {{0x96, 0x02, "ATmega64", "65536", 2048, {10}, true, F::Instruction, 0x80, 0x88, 2048},
       kMega64Items},
      {{0x97, 0x02, "ATmega128", "131072", 4096, {10}, true, F::Instruction, 0x80, 0x90, 4096},
       kMega64Items},
  };
  return rows;
}

std::string CaptionsOf(const ChipInfo& chip) {
  std::string text;
  for (std::string_view caption : chip.FuseItems) {
    if (!text.empty()) text += '|';
    text += caption;
  }
  return text;
}

TEST(ChipTable, HasEveryRowInIdentificationOrder) {
  const auto table = ChipTable();
  ASSERT_EQ(table.size(), 29u);
  ASSERT_EQ(Rows().size(), 29u);
  for (std::size_t i = 0; i < table.size(); ++i) {
    const RowCase& want = Rows()[i].first;
    const ChipInfo& got = table[i];
    SCOPED_TRACE(want.Name);
    EXPECT_EQ(got.Signature, (TSignature{0x1E, want.Sig1, want.Sig2}));
    EXPECT_EQ(got.Name, want.Name);
    EXPECT_EQ(got.FlashSizeText, want.Flash);
    EXPECT_EQ(got.EepromSize, want.Eeprom);
    EXPECT_EQ(CaptionsOf(got), Rows()[i].second);
    EXPECT_EQ(std::vector<std::uint8_t>(got.DisabledItems.begin(), got.DisabledItems.end()),
              want.Greyed);
    EXPECT_EQ(got.FuseReadAfterIdentify, want.FuseRead);
    EXPECT_EQ(ChipNeedsFuseRead(&got), want.FuseRead);
    EXPECT_EQ(got.Family, want.Family);
    EXPECT_EQ(FlashPageCode(&got), want.PageCode);
    EXPECT_EQ(EepromSizeCodeFor(&got), want.EepromCode);
    EXPECT_EQ(EepromBytesExpected(&got), want.EepromBytes);
    EXPECT_EQ(FindChip(got.Signature), &got);
    EXPECT_EQ(FindChipByName(want.Name), &got);
  }
}

TEST(ChipTable, GreyedItemsNameTheProtectedBits) {
  // Every greyed item is SPIEN, except the unused extended bit of the PWM chips.
  for (const ChipInfo& chip : ChipTable()) {
    for (std::uint8_t index : chip.DisabledItems) {
      ASSERT_LT(index, chip.FuseItems.size()) << chip.Name;
      const std::string_view caption = chip.FuseItems[index];
      EXPECT_TRUE(caption == "SPIEN" || caption == "NONE") << chip.Name << " " << caption;
    }
  }
}

TEST(ChipTable, ItemCounts) {
  const std::vector<std::pair<const char*, std::size_t>> cases = {
      {"ATmega8", 22},  {"AT90pwm2", 30},  {"AT90S1200", 2}, {"ATtiny13", 15},
      {"ATmega88", 25}, {"ATmega162", 26}, {"ATmega64", 24}, {"AT90S/LS2323", 4},
  };
  for (const auto& [name, count] : cases) {
    EXPECT_EQ(test::Chip(name).FuseItems.size(), count) << name;
  }
}

TEST(ChipTable, FindChipNeedsAllThreeBytes) {
  struct Case {
    TSignature Sig;
    const char* Name;  // nullptr: none
  };
  const Case cases[] = {
      {{0x1E, 0x93, 0x07}, "ATmega8"},  {{0x1E, 0x93, 0x93}, "AT90pwm2"},
      {{0x1E, 0x93, 0x81}, "AT90pwm3"}, {{0x1E, 0x97, 0x02}, "ATmega128"},
      {{0x1F, 0x93, 0x07}, nullptr},    {{0x1E, 0x07, 0x93}, nullptr},
      {{0x1E, 0x93, 0x02}, nullptr},    {{0x1E, 0x98, 0x01}, nullptr},
      {{0x00, 0x01, 0x02}, nullptr},    {{0xFF, 0xFF, 0xFF}, nullptr},
      {{0x00, 0x90, 0x01}, nullptr},
  };
  for (const Case& c : cases) {
    const ChipInfo* chip = FindChip(c.Sig);
    if (c.Name == nullptr) {
      EXPECT_EQ(chip, nullptr) << test::Hex2(c.Sig[1]) << test::Hex2(c.Sig[2]);
    } else {
      ASSERT_NE(chip, nullptr) << c.Name;
      EXPECT_EQ(chip->Name, c.Name);
    }
  }
  EXPECT_EQ(FindChipByName("ATmega 8"), nullptr);
  EXPECT_EQ(FindChipByName(""), nullptr);
}

TEST(ChipTable, NoChipTakesTheOtherChipValues) {
  EXPECT_TRUE(ChipNeedsFuseRead(nullptr));
  EXPECT_EQ(FlashPageCode(nullptr), 1);
  EXPECT_EQ(EepromSizeCodeFor(nullptr), 0);
  EXPECT_EQ(EepromBytesExpected(nullptr), 0);
}

}  // namespace
}  // namespace quenvar
