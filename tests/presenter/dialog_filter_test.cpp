#include "quenvar/presenter/dialog_filter.h"

#include <gtest/gtest.h>

namespace quenvar {
namespace {

struct TFilterCase {
  const char* Filter;
  std::vector<std::string> Expected;
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
  for (const TFilterCase& c : cases) EXPECT_EQ(QtNameFilters(c.Filter), c.Expected) << c.Filter;
}

}  // namespace
}  // namespace quenvar
