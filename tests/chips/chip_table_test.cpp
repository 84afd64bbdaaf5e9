#include "quenvar/core/chip_table.h"

#include <gtest/gtest.h>

#include <string>

#include "chip_test_util.h"
#include "golden_tables.h"

namespace quenvar {
namespace {

const char* FamilyName(TFuseFamily family) {
  switch (family) {
    case TFuseFamily::Instruction:
      return "instruction";
    case TFuseFamily::CombinedByte:
      return "combined-byte";
    case TFuseFamily::TwoByte:
      return "two-byte";
    case TFuseFamily::LockOnly:
      return "lock-only";
  }
  return "?";
}

TEST(ChipTable, HasEveryRowInIdentificationOrder) {
  const auto table = ChipTable();
  const auto& golden = test::GoldenChips();
  ASSERT_EQ(table.size(), 29u);
  ASSERT_EQ(golden.size(), 29u);
  for (std::size_t i = 0; i < table.size(); ++i) {
    const test::TGoldenChip& want = golden[i];
    const ChipInfo& got = table[i];
    SCOPED_TRACE(want.Name);
    EXPECT_EQ(got.Signature, (TSignature{want.Signature[0], want.Signature[1], want.Signature[2]}));
    EXPECT_EQ(got.Name, want.Name);
    EXPECT_EQ(got.FlashSizeText, want.Flash);
    EXPECT_EQ(got.EepromSize, want.Eeprom);
    EXPECT_EQ(std::vector<std::string>(got.FuseItems.begin(), got.FuseItems.end()), want.Items);
    EXPECT_EQ(std::vector<std::uint8_t>(got.DisabledItems.begin(), got.DisabledItems.end()),
              want.Greyed);
    EXPECT_EQ(got.FuseReadAfterIdentify, want.FuseRead);
    EXPECT_EQ(ChipNeedsFuseRead(&got), want.FuseRead);
    EXPECT_EQ(FamilyName(got.Family), want.Family);
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
