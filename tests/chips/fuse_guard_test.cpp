#include "quenvar/core/fuse_guard.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "quenvar/core/chip_table.h"

namespace quenvar {
namespace {

using TBits = std::vector<std::string_view>;

bool DisablesIsp(std::string_view caption) {
  return caption == "RSTDISBL" || caption == "DWEN";
}

// The chips whose fuse list names RSTDISBL or DWEN, found in the table itself.
std::vector<const ChipInfo*> GuardedChips() {
  std::vector<const ChipInfo*> chips;
  for (const ChipInfo& chip : ChipTable()) {
    for (std::string_view caption : chip.FuseItems) {
      if (DisablesIsp(caption)) {
        chips.push_back(&chip);
        break;
      }
    }
  }
  return chips;
}

std::vector<bool> Only(const ChipInfo& chip, std::string_view caption) {
  std::vector<bool> states(chip.FuseItems.size(), false);
  for (std::size_t i = 0; i < states.size(); ++i) states[i] = chip.FuseItems[i] == caption;
  return states;
}

class NewIspDisablingBitsOf : public testing::TestWithParam<const ChipInfo*> {};

TEST_P(NewIspDisablingBitsOf, NamesOnlyBitsThatTurnFromUnprogrammedToProgrammed) {
  const ChipInfo& chip = *GetParam();
  const std::size_t n = chip.FuseItems.size();
  const std::vector<bool> none(n, false);
  const std::vector<bool> all(n, true);
  TBits present;
  for (std::string_view caption : chip.FuseItems)
    if (DisablesIsp(caption)) present.push_back(caption);
  ASSERT_FALSE(present.empty());

  EXPECT_EQ(NewIspDisablingBits(chip.FuseItems, none, all), present);
  EXPECT_EQ(NewIspDisablingBits(chip.FuseItems, all, all), TBits{});
  EXPECT_EQ(NewIspDisablingBits(chip.FuseItems, all, none), TBits{});
  EXPECT_EQ(NewIspDisablingBits(chip.FuseItems, none, none), TBits{});
  // States missing from a short list count as unprogrammed.
  EXPECT_EQ(NewIspDisablingBits(chip.FuseItems, {}, all), present);
  EXPECT_EQ(NewIspDisablingBits(chip.FuseItems, all, {}), TBits{});
  for (std::string_view bit : present) {
    EXPECT_EQ(NewIspDisablingBits(chip.FuseItems, none, Only(chip, bit)), TBits{bit});
    // Every other box programmed, this one already programmed: nothing new.
    std::vector<bool> others(n, true);
    EXPECT_EQ(NewIspDisablingBits(chip.FuseItems, Only(chip, bit), others).size(),
              present.size() - 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Chips, NewIspDisablingBitsOf, testing::ValuesIn(GuardedChips()),
                         [](const testing::TestParamInfo<const ChipInfo*>& info) {
                           std::string name;
                           for (char c : info.param->Name)
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           return name;
                         });

TEST(NewIspDisablingBits, ChipsWithoutTheBitsNeverAsk) {
  std::size_t guarded = 0;
  for (const ChipInfo& chip : ChipTable()) {
    const std::vector<bool> all(chip.FuseItems.size(), true);
    const TBits bits = NewIspDisablingBits(chip.FuseItems, {}, all);
    if (!bits.empty()) ++guarded;
    for (std::string_view bit : bits) EXPECT_TRUE(DisablesIsp(bit)) << chip.Name;
  }
  EXPECT_EQ(guarded, GuardedChips().size());
  // The bits come back in list order, in the chip's own captions.
  const struct {
    const char* Chip;
    TBits Bits;
  } anchors[] = {{"ATmega8", {"RSTDISBL"}},
                 {"ATtiny13", {"DWEN", "RSTDISBL"}},
                 {"ATmega88", {"RSTDISBL", "DWEN"}},
                 {"ATmega16", {}}};
  for (const auto& anchor : anchors) {
    const ChipInfo* chip = FindChipByName(anchor.Chip);
    ASSERT_NE(chip, nullptr) << anchor.Chip;
    const std::vector<bool> all(chip->FuseItems.size(), true);
    EXPECT_EQ(NewIspDisablingBits(chip->FuseItems, {}, all), anchor.Bits) << anchor.Chip;
  }
  EXPECT_EQ(NewIspDisablingBits({}, {}, {true, true}), TBits{});
}

}  // namespace
}  // namespace quenvar
