#include "quenvar/cli/cli_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "case_name.h"
#include "quenvar/cli/progress_bar.h"

namespace quenvar::cli_test {
namespace {

using namespace std::chrono_literals;

TEST(CliOptions, GlobalOptionsAndChain) {
  const std::vector<std::string> args = {"--simulate=isp=ATmega16,state=x.qvs",
                                         "--target",
                                         "24C02C",
                                         "--lang=ru",
                                         "--no-verify",
                                         "--timeout",
                                         "2.5",
                                         "--quiet",
                                         "write-flash",
                                         "a.hex",
                                         "read-flash",
                                         "b.bin",
                                         "erase"};
  const TCliParseResult r = ParseCliArgs(args);
  ASSERT_TRUE(r.Ok()) << r.FError;
  const TCliOptions& o = r.FOptions;
  EXPECT_TRUE(o.FSimulate);
  EXPECT_EQ(o.FSimulateText, "isp=ATmega16,state=x.qvs");
  EXPECT_EQ(o.FEepromIndex, std::optional<std::size_t>(4));
  EXPECT_EQ(o.FLanguageIndex, 2);
  EXPECT_FALSE(o.FVerify);
  EXPECT_EQ(o.FTimeout, std::optional<std::chrono::milliseconds>(2500ms));
  EXPECT_TRUE(o.FQuiet);
  const std::vector<TCliCommand> expected = {
      {TCliCommandKind::WriteFlash, {"a.hex"}, {}, {}},
      {TCliCommandKind::ReadFlash, {"b.bin"}, {}, {}},
      {TCliCommandKind::Erase, {}, {}, {}},
  };
  EXPECT_EQ(o.FCommands, expected);
}

TEST(CliOptions, Defaults) {
  const std::vector<std::string> args = {"detect"};
  const TCliParseResult r = ParseCliArgs(args);
  ASSERT_TRUE(r.Ok());
  EXPECT_FALSE(r.FOptions.FSimulate);
  EXPECT_FALSE(r.FOptions.FEepromIndex.has_value());
  EXPECT_EQ(r.FOptions.FLanguageIndex, 1);  // English
  EXPECT_TRUE(r.FOptions.FVerify);
  EXPECT_FALSE(r.FOptions.FTimeout.has_value());
  EXPECT_FALSE(r.FOptions.FQuiet);
}

TEST(CliOptions, WriteFusesNames) {
  const std::vector<std::string> args = {"write-fuses",        "--program",
                                         "CKSEL0, Lock bit 1", "--unprogram=SUT0,,SUT1",
                                         "--program=BOOTRST",  "read-fuses"};
  const TCliParseResult r = ParseCliArgs(args);
  ASSERT_TRUE(r.Ok()) << r.FError;
  ASSERT_EQ(r.FOptions.FCommands.size(), 2u);
  EXPECT_EQ(r.FOptions.FCommands[0].FProgram,
            (std::vector<std::string>{"CKSEL0", "Lock bit 1", "BOOTRST"}));
  EXPECT_EQ(r.FOptions.FCommands[0].FUnprogram, (std::vector<std::string>{"SUT0", "SUT1"}));
  EXPECT_EQ(r.FOptions.FCommands[1].FKind, TCliCommandKind::ReadFuses);
}

struct TBadCase {
  std::vector<std::string> FArgs;
  std::string FError;
};

class CliBadArgs : public ::testing::TestWithParam<TBadCase> {};

// Every 24xx type by the first name of its menu caption.
const std::string kTargets =
    "isp, 0..13, 24AA00, 24AA01, 24C01C, 24AA02, 24C02C, 24C04A, 24AA04, 24AA08, 24AA16, "
    "24AA32A, 24AA64, 24AA128, 24AA256, 24AA512";
const std::string kSeconds = "seconds above 0 and at most 86400, e.g. 2.5";

TEST_P(CliBadArgs, RefusedWithItsText) {
  const TCliParseResult r = ParseCliArgs(GetParam().FArgs);
  EXPECT_FALSE(r.Ok());
  EXPECT_EQ(r.FError, GetParam().FError);
}

void PrintTo(const TBadCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.FArgs);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliBadArgs,
    ::testing::Values(
        TBadCase{{}, "no command given"}, TBadCase{{"--quiet"}, "no command given"},
        TBadCase{{"flash"}, "unknown command 'flash'"},
        TBadCase{{"--fast", "detect"}, "unknown option '--fast'"},
        TBadCase{{"detect", "--quiet"}, "option '--quiet' must come before the first command"},
        TBadCase{{"--target"}, "option '--target' needs a value (" + kTargets + ")"},
        TBadCase{{"--target", "14", "erase"}, "unknown target '14'; valid: " + kTargets},
        TBadCase{{"--target=24AA1024", "erase"}, "unknown target '24AA1024'; valid: " + kTargets},
        TBadCase{{"--lang", "fr", "detect"}, "unknown language 'fr'; valid: de, en, ru"},
        TBadCase{{"--timeout", "0", "detect"}, "bad timeout '0'; give " + kSeconds},
        TBadCase{{"--timeout=-1", "detect"}, "bad timeout '-1'; give " + kSeconds},
        TBadCase{{"--timeout=5s", "detect"}, "bad timeout '5s'; give " + kSeconds},
        TBadCase{{"--timeout=86400.5", "detect"}, "bad timeout '86400.5'; give " + kSeconds},
        TBadCase{{"--timeout"}, "option '--timeout' needs a value (" + kSeconds + ")"},
        TBadCase{{"-x", "detect"}, "unknown option '-x'"},
        TBadCase{{"detect", "-x"}, "unknown option '-x'"},
        TBadCase{{"--simulate", "--simulate=isp=ATmega16", "detect"},
                 "option '--simulate' given twice"},
        TBadCase{{"--simulate=isp=ATmega16", "--simulate", "detect"},
                 "option '--simulate' given twice"},
        TBadCase{{"write-flash"}, "command 'write-flash' needs a FILE"},
        TBadCase{{"read-flash", "erase"}, "command 'read-flash' needs a FILE"},
        TBadCase{{"convert", "a.hex"}, "command 'convert' needs IN and OUT files"},
        TBadCase{{"write-flash", ""}, "command 'write-flash' got an empty file name"},
        TBadCase{{"write-flash", "image.txt"}, "'image.txt': give a .hex or .bin file"},
        TBadCase{{"verify", "x"}, "'x': give a .hex or .bin file"},
        TBadCase{{"write-flash", "ab"}, "'ab': give a .hex or .bin file"},
        TBadCase{{"--target", "24AA256", "detect"},
                 "command 'detect' needs the ISP target (--target isp)"},
        TBadCase{{"--target", "0", "read-eeprom", "e.bin"},
                 "command 'read-eeprom' needs the ISP target (--target isp)"},
        TBadCase{{"--target", "13", "write-fuses"},
                 "command 'write-fuses' needs the ISP target (--target isp)"},
        TBadCase{{"write-fuses", "--program"}, "option '--program' needs a list of fuse names"},
        TBadCase{{"write-fuses", "--set=CKSEL0"}, "unknown option '--set=CKSEL0' for write-fuses"},
        TBadCase{{"write-fuses", "--program=SUT0", "--unprogram", "SUT1,SUT0"},
                 "fuse 'SUT0' is named by both --program and --unprogram"}),
    [](const auto& info) { return test::CaseName(info.param.FArgs); });

struct TTargetCase {
  std::string FText;
  std::optional<std::size_t> FIndex;  // empty: ISP
  bool FOk;
};

class CliTargets : public ::testing::TestWithParam<TTargetCase> {};

TEST_P(CliTargets, Resolve) {
  std::optional<std::size_t> index = 99;
  const bool ok = ParseTarget(GetParam().FText, index);
  EXPECT_EQ(ok, GetParam().FOk);
  if (ok) {
    EXPECT_EQ(index, GetParam().FIndex);
  }
}

void PrintTo(const TTargetCase& c, std::ostream* os) {
  *os << '"' << c.FText << '"';
}

// Two rows differ only in spaces and brackets: the row number keeps their names apart.
INSTANTIATE_TEST_SUITE_P(
    Table, CliTargets,
    ::testing::Values(
        TTargetCase{"isp", std::nullopt, true}, TTargetCase{"ISP", std::nullopt, true},
        TTargetCase{"0", 0, true}, TTargetCase{"13", 13, true},
        TTargetCase{"14", std::nullopt, false}, TTargetCase{"-1", std::nullopt, false},
        TTargetCase{"", std::nullopt, false},
        // captions, as the menu writes them
        TTargetCase{"24AA00 / 24(L)C00", 0, true}, TTargetCase{"24C01C", 2, true},
        TTargetCase{"24AA04 / 24LC04B", 6, true}, TTargetCase{"24AA128 / 24(L/F)C128", 11, true},
        TTargetCase{"24AA512 / 24(L/F)C512", 13, true},
        // the device text of the rows that differ from their caption
        TTargetCase{"24AA04 / 24(L)C04B", 6, true}, TTargetCase{"24AA128/24(L/F)C128", 11, true},
        // short names, any case
        TTargetCase{"24aa256", 12, true}, TTargetCase{"24AA32A", 9, true},
        TTargetCase{"24C04A", 5, true}, TTargetCase{"24AA32", std::nullopt, false},
        TTargetCase{"24LC256", std::nullopt, false}, TTargetCase{"N24AA00", std::nullopt, false}),
    [](const auto& info) {
      return test::CaseName(info.param.FText) + "_" + std::to_string(info.index);
    });

TEST(CliOptions, SplitNames) {
  EXPECT_EQ(SplitNames(" Lock bit 1 ,CKSEL0,, "),
            (std::vector<std::string>{"Lock bit 1", "CKSEL0"}));
  EXPECT_EQ(SplitNames(""), std::vector<std::string>{});
}

struct TBarCase {
  std::int64_t FPosition;
  std::int64_t FMaximum;
  double FSeconds;
  std::string FLine;
};

class CliProgressLine : public ::testing::TestWithParam<TBarCase> {};

TEST_P(CliProgressLine, Format) {
  EXPECT_EQ(FormatProgressLine(GetParam().FPosition, GetParam().FMaximum, GetParam().FSeconds),
            GetParam().FLine);
}

void PrintTo(const TBarCase& c, std::ostream* os) {
  *os << c.FPosition << " of " << c.FMaximum << " after " << c.FSeconds << " s";
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliProgressLine,
    ::testing::Values(
        TBarCase{0, 100, 0.0, "[..............................]   0%  0/100 bytes"},
        // no rate in the first tenth of a second
        TBarCase{50, 100, 0.09, "[###############...............]  50%  50/100 bytes"},
        TBarCase{58, 8192, 0.5, "[..............................]   0%  58/8192 bytes  116 B/s"},
        TBarCase{8192, 8192, 2.0,
                 "[##############################] 100%  8192/8192 bytes  4.0 KiB/s"},
        TBarCase{4096, 8192, 1.0,
                 "[###############...............]  50%  4096/8192 bytes  4.0 KiB/s"},
        TBarCase{1023, 1024, 1.0,
                 "[#############################.]  99%  1023/1024 bytes  1023 B/s"},
        TBarCase{3145728, 4194304, 1.0,
                 "[######################........]  75%  3145728/4194304 bytes  3.0 MiB/s"},
        // a position beyond the maximum is shown at the maximum
        TBarCase{70, 64, 0.0, "[##############################] 100%  64/64 bytes"},
        TBarCase{5, 0, 0.0, "[..............................]   0%  0/0 bytes"}),
    [](const auto& info) {
      return "At" + std::to_string(info.param.FPosition) + "Of" +
             std::to_string(info.param.FMaximum);
    });

}  // namespace
}  // namespace quenvar::cli_test
