#include "quenvar/core/fuse_guard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
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
std::vector<const TChipInfo*> GuardedChips() {
  std::vector<const TChipInfo*> chips;
  for (const TChipInfo& chip : ChipTable())
    if (std::any_of(chip.FFuseItems.begin(), chip.FFuseItems.end(), DisablesIsp))
      chips.push_back(&chip);
  return chips;
}

class NewIspDisablingBitsOf : public testing::TestWithParam<const TChipInfo*> {};

TEST_P(NewIspDisablingBitsOf, NamesOnlyBitsTurningProgrammed) {
  const std::span<const std::string_view> items = GetParam()->FFuseItems;
  const std::vector<bool> none(items.size(), false);
  const std::vector<bool> all(items.size(), true);
  TBits present;
  std::copy_if(items.begin(), items.end(), std::back_inserter(present), DisablesIsp);
  EXPECT_EQ(NewIspDisablingBits(items, none, all), present);
  EXPECT_EQ(NewIspDisablingBits(items, {}, all), present);  // missing states: unprogrammed
  EXPECT_EQ(NewIspDisablingBits(items, all, all), TBits{});
  EXPECT_EQ(NewIspDisablingBits(items, none, none), TBits{});
  EXPECT_EQ(GuardedChips().size(), 11u);
}

INSTANTIATE_TEST_SUITE_P(Chips, NewIspDisablingBitsOf, testing::ValuesIn(GuardedChips()),
                         [](const testing::TestParamInfo<const TChipInfo*>& info) {
                           std::string name;
                           for (char c : info.param->FName)
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           return name;
                         });

TEST(IspDisablingQuestion, NamesTheBitsInEachLanguage) {
  const TBits both{"RSTDISBL", "DWEN"};
  EXPECT_EQ(IspDisablingQuestion(both, 0),
            "Das Schreiben der Fuses programmiert RSTDISBL und DWEN. Danach ist der Chip nicht "
            "mehr über ISP programmierbar. Trotzdem schreiben?");
  EXPECT_EQ(IspDisablingQuestion(both, 2),
            "Запись fuse битов программирует RSTDISBL и DWEN. После этого чип больше нельзя будет "
            "программировать через ISP. Всё равно записать?");
}

}  // namespace
}  // namespace quenvar
