#include "quenvar/presenter/dialog_filter.h"

#include <gtest/gtest.h>

namespace quenvar {
namespace {

struct TFilterCase {
  const char* FFilter;
  std::vector<std::string> FExpected;
};

TEST(QtNameFilters, TurnsBarPairsIntoQtFilters) {
  const TFilterCase cases[] = {
      {"Hex-Dateien (*.hex)|*.hex|Binary-Dateien (*.bin)|*.bin|Alle Dateien (*.*)|*.*",
       {"Hex-Dateien (*.hex)", "Binary-Dateien (*.bin)", "Alle Dateien (*)"}},
      {"Hex-файл (*.hex)|*.hex|Bin-файл (*.bin)|*.bin", {"Hex-файл (*.hex)", "Bin-файл (*.bin)"}},
      // The pattern, not the description, decides what the dialog shows.
      {"Images (*.png)|*.png;*.jpg", {"Images (*.png *.jpg)"}},
      {"Plain|*.txt", {"Plain (*.txt)"}},
      {"Nothing|", {"Nothing (*)"}},
      {"Dangling description", {}},
      {"A|*.a|B", {"A (*.a)"}},
      {"", {}},
  };
  for (const TFilterCase& c : cases) EXPECT_EQ(QtNameFilters(c.FFilter), c.FExpected) << c.FFilter;
}

}  // namespace
}  // namespace quenvar
