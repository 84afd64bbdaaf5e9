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
    const TChipInfo& got = table[i];
    SCOPED_TRACE(want.FName);
    EXPECT_EQ(got.FSignature,
              (TSignature{want.FSignature[0], want.FSignature[1], want.FSignature[2]}));
    EXPECT_EQ(got.FName, want.FName);
    EXPECT_EQ(got.FFlashSizeText, want.FFlash);
    EXPECT_EQ(got.FEepromSize, want.FEeprom);
    EXPECT_EQ(std::vector<std::string>(got.FFuseItems.begin(), got.FFuseItems.end()), want.FItems);
    EXPECT_EQ(std::vector<std::uint8_t>(got.FDisabledItems.begin(), got.FDisabledItems.end()),
              want.FGreyed);
    EXPECT_EQ(got.FFuseReadAfterIdentify, want.FFuseRead);
    EXPECT_EQ(ChipNeedsFuseRead(&got), want.FFuseRead);
    EXPECT_EQ(FamilyName(got.FFamily), want.FFamily);
    EXPECT_EQ(FlashPageCode(&got), want.FPageCode);
    EXPECT_EQ(EepromSizeCodeFor(&got), want.FEepromCode);
    EXPECT_EQ(EepromBytesExpected(&got), want.FEepromBytes);
    EXPECT_EQ(FindChip(got.FSignature), &got);
    EXPECT_EQ(FindChipByName(want.FName), &got);
  }
}

TEST(ChipTable, GreyedItemsNameTheProtectedBits) {
  // Every greyed item is SPIEN, except the unused extended bit of the PWM chips.
  for (const TChipInfo& chip : ChipTable()) {
    for (std::uint8_t index : chip.FDisabledItems) {
      ASSERT_LT(index, chip.FFuseItems.size()) << chip.FName;
      const std::string_view caption = chip.FFuseItems[index];
      EXPECT_TRUE(caption == "SPIEN" || caption == "NONE") << chip.FName << " " << caption;
    }
  }
}

TEST(ChipTable, ItemCounts) {
  const std::vector<std::pair<const char*, std::size_t>> cases = {
      {"ATmega8", 22},  {"AT90pwm2", 30},  {"AT90S1200", 2}, {"ATtiny13", 15},
      {"ATmega88", 25}, {"ATmega162", 26}, {"ATmega64", 24}, {"AT90S/LS2323", 4},
  };
  for (const auto& [name, count] : cases) {
    EXPECT_EQ(test::Chip(name).FFuseItems.size(), count) << name;
  }
}

TEST(ChipTable, FindChipNeedsAllThreeBytes) {
  struct TCase {
    TSignature FSig;
    const char* FName;  // nullptr: none
  };
  const TCase cases[] = {
      {{0x1E, 0x93, 0x07}, "ATmega8"},  {{0x1E, 0x93, 0x93}, "AT90pwm2"},
      {{0x1E, 0x93, 0x81}, "AT90pwm3"}, {{0x1E, 0x97, 0x02}, "ATmega128"},
      {{0x1F, 0x93, 0x07}, nullptr},    {{0x1E, 0x07, 0x93}, nullptr},
      {{0x1E, 0x93, 0x02}, nullptr},    {{0x1E, 0x98, 0x01}, nullptr},
      {{0x00, 0x01, 0x02}, nullptr},    {{0xFF, 0xFF, 0xFF}, nullptr},
      {{0x00, 0x90, 0x01}, nullptr},
  };
  for (const TCase& c : cases) {
    const TChipInfo* chip = FindChip(c.FSig);
    if (c.FName == nullptr) {
      EXPECT_EQ(chip, nullptr) << test::Hex2(c.FSig[1]) << test::Hex2(c.FSig[2]);
    } else {
      ASSERT_NE(chip, nullptr) << c.FName;
      EXPECT_EQ(chip->FName, c.FName);
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
