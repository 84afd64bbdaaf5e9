#include "quenvar/uhid/uhid_control.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "case_name.h"

namespace quenvar {
namespace {

struct TCommandCase {
  const char* FLine;
  std::optional<TUhidCommand> FExpected;
};

class UhidCommands : public ::testing::TestWithParam<TCommandCase> {};

TEST_P(UhidCommands, Parse) {
  EXPECT_EQ(ParseUhidCommand(GetParam().FLine), GetParam().FExpected)
      << '"' << GetParam().FLine << '"';
}

void PrintTo(const TCommandCase& c, std::ostream* os) {
  *os << '"' << c.FLine << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, UhidCommands,
    ::testing::Values(
        TCommandCase{"unplug", TUhidCommand{TUhidCommandKind::Unplug}},
        TCommandCase{"  replug\t", TUhidCommand{TUhidCommandKind::Replug}},
        TCommandCase{"plug", TUhidCommand{TUhidCommandKind::Replug}},
        TCommandCase{"stats\r", TUhidCommand{TUhidCommandKind::Stats}},
        TCommandCase{"quit", TUhidCommand{TUhidCommandKind::Quit}},
        TCommandCase{"unplug-after 40", TUhidCommand{TUhidCommandKind::UnplugAfter, 40}},
        TCommandCase{" unplug-after   1 ", TUhidCommand{TUhidCommandKind::UnplugAfter, 1}},
        TCommandCase{"unplug-after 0", std::nullopt}, TCommandCase{"unplug-after -3", std::nullopt},
        TCommandCase{"unplug-after 4x", std::nullopt}, TCommandCase{"unplug-after", std::nullopt},
        TCommandCase{"unplug-after 4 5", std::nullopt},
        TCommandCase{"unplug-after 99999999999999999999999", std::nullopt},
        TCommandCase{"unplug now", std::nullopt}, TCommandCase{"UNPLUG", std::nullopt},
        TCommandCase{"", std::nullopt}),
    [](const auto& info) { return test::CaseName(info.param.FLine); });

TEST(UhidCommandLines, PiecesJoinIntoLinesAndTheUnfinishedOneWaits) {
  std::string pending;
  std::vector<std::string> lines;
  auto take = [&](std::string_view chunk) {
    ForEachUhidLine(pending, chunk, [&](std::string_view line) { lines.emplace_back(line); });
  };
  take("unp");
  EXPECT_TRUE(lines.empty());
  take("lug\nsta");
  take("ts\n\nunplug-after 3\nqu");
  EXPECT_EQ(lines, (std::vector<std::string>{"unplug", "stats", "", "unplug-after 3"}));
  EXPECT_EQ(pending, "qu");
  take("it\n");
  EXPECT_EQ(lines.back(), "quit");
  EXPECT_EQ(pending, "");
}

}  // namespace
}  // namespace quenvar
