// What the command line refuses before or after it talks to the chip, its own
// messages in the three languages, and how it stops when asked to.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_test_util.h"
#include "quenvar/sim/sim_state_file.h"
#include "system_texts.h"

namespace quenvar::cli_test {
namespace {

// %D stands for the test's folder, %S for a simulated ATmega8 kept in %D/s.qvs.
std::string WithDir(std::string text, const TTempDir& dir) {
  if (text == "%S") text = "--simulate=isp=ATmega8,state=%D/s.qvs";
  for (std::size_t at = text.find("%D"); at != std::string::npos; at = text.find("%D", at))
    text.replace(at, 2, dir.FPath.string());
  return text;
}

TRun CliIn(const TTempDir& dir, const std::vector<std::string>& args) {
  std::vector<std::string> full;
  full.reserve(args.size());
  for (const std::string& arg : args) full.push_back(WithDir(arg, dir));
  return Cli(full);
}

struct TCase {
  std::string FName;
  std::vector<std::string> FBefore;  // a run that prepares the chip, if any
  std::vector<std::string> FArgs;
  int FStatus;
  std::string FErr;
  std::string FOutEnd;  // empty: nothing at all on standard output
};

class CliRefusals : public ::testing::TestWithParam<TCase> {};

TEST_P(CliRefusals, StatusAndMessage) {
  TTempDir dir;
  const TCase& c = GetParam();
  WriteBytes(dir / "200.bin", Noise(200, 1));
  WriteBytes(dir / "17.bin", Noise(17, 2));
  WriteBytes(dir / "513.bin", Noise(513, 3));
  if (!c.FBefore.empty()) {
    ASSERT_EQ(CliIn(dir, c.FBefore).FStatus, 0);
  }
  const TRun r = CliIn(dir, c.FArgs);
  EXPECT_EQ(r.FStatus, c.FStatus);
  EXPECT_EQ(r.FErr, WithDir(c.FErr, dir));
  if (c.FOutEnd.empty()) {
    EXPECT_EQ(r.FOut, "");
  } else {
    EXPECT_TRUE(EndsWith(Masked(r.FOut), c.FOutEnd)) << r.FOut;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "r.bin"));
}

const std::string kReadFuses =
    "Calibration Byte 0: A7\nCalibration Byte 1: A9\nCalibration Byte 2: AC\nCalibration Byte 3: "
    "AE\n";

void PrintTo(const TCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliRefusals,
    ::testing::Values(
        // Checked before the programmer is touched.
        TCase{"OutputInAMissingFolder",
              {},
              {"%S", "erase", "read-flash", "%D/no/r.bin"},
              2,
              "Cannot create %D/no/r.bin.\r\n(" + test::MissingFolderReason().FText + ".)\n",
              ""},
        TCase{"StateInAMissingFolder",
              {},
              {"--simulate=state=%D/no/s.qvs", "detect"},
              2,
              "quenvar-cli: %D/no/s.qvs: cannot open simulator state file: " +
                  test::MissingFolderReason().FText + "\n",
              ""},
        TCase{"ImageLargerThanThe24xx",
              {},
              {"--simulate=socket=24AA01", "--target", "24AA01", "write-flash", "%D/200.bin"},
              2,
              "quenvar-cli: '%D/200.bin': The image (200 bytes) is larger than the chip's memory "
              "(128 bytes).\n",
              ""},
        TCase{"ImageLargerThanTheEeprom",
              {},
              {"%S", "write-eeprom", "%D/513.bin"},
              2,
              "quenvar-cli: '%D/513.bin': The image (513 bytes) is larger than the chip's memory "
              "(512 bytes).\n",
              kReadFuses + "\nError.\nDuration: #.## s\n"},
        // A fuse write is read back; a lock bit goes only with an erase.
        TCase{"LockBitStays",
              {"%S", "write-fuses", "--program", "Lock bit 1"},
              {"%S", "write-fuses", "--unprogram", "lock bit 1,CKSEL0"},
              1,
              "quenvar-cli: 'Lock bit 1' did not take: still programmed (lock bits are cleared "
              "only by an erase)\n",
              kReadFuses},
        // Bits after which the chip no longer answers over ISP.
        TCase{
            "ResetPinAndDebugWireGerman",
            {},
            {"--simulate=isp=ATmega168", "--lang=de", "write-fuses", "--program", "DWEN,RSTDISBL"},
            2,
            "quenvar-cli: das Programmieren von RSTDISBL, DWEN machte den Chip über ISP "
            "unerreichbar; nichts geschrieben (--force schreibt trotzdem)\n",
            "Calibration Byte 0: 97\n"},
        TCase{"ResetPinForced",
              {},
              {"%S", "write-fuses", "--program", "RSTDISBL", "--force"},
              0,
              "",
              "Successfully finished.\nDuration: #.## s\n"},
        // A locked chip has no sizes.
        TCase{"LockedEepromRead",
              {},
              {"--simulate=isp=locked", "read-eeprom", "%D/r.bin"},
              1,
              "Device locked !\n",
              "reading EEPROM...\n"},
        // ...and is not erased on the way to a write that needs them.
        TCase{"LockedFlashWrite",
              {},
              {"--simulate=isp=locked", "write-flash", "%D/17.bin"},
              1,
              "Device locked !\n",
              "reading fuse bis...\n\nError.\nDuration: #.## s\n"},
        // The Chip: line follows the language.
        TCase{"ChipRussian",
              {},
              {"--simulate", "--lang=ru", "detect"},
              0,
              "",
              "\nМикросхема: ATmega8, 8192 байт flash-памяти\n"}),
    [](const auto& info) { return info.param.FName; });

// Stop requests in place of real signals: `count` of them once the first
// command has started (after the first poll).
TCliEnvironment StopAfterStart(int count, int signal) {
  TCliEnvironment env;
  env.FPollStop = [count, signal, polls = 0]() mutable {
    return polls++ == 0 ? TCliStopRequest{} : TCliStopRequest{count, signal};
  };
  return env;
}

TEST(CliStop, FirstRequestFinishesTheOperationAndStartsNoOther) {
  TTempDir dir;
  WriteBytes(dir / "a.bin", Noise(300, 7));
  const TRun r = Cli({WithDir("%S", dir), "--lang", "de", "write-flash", dir / "a.bin",
                      "read-flash", dir / "b.bin"},
                     StopAfterStart(1, SIGINT));
  EXPECT_EQ(r.FStatus, 130);
  EXPECT_EQ(r.FErr, "Abbruch nach diesem Vorgang\n");
  EXPECT_TRUE(EndsWith(Masked(r.FOut), "\nErfolgreich beendet.\nDauer: #.## s\n")) << r.FOut;
  EXPECT_FALSE(std::filesystem::exists(dir / "b.bin"));
  // The last command that was stopped in keeps its own status.
  EXPECT_EQ(Cli({"--simulate", "erase"}, StopAfterStart(1, SIGTERM)).FStatus, 0);
}

TEST(CliStop, SecondRequestAbandonsTheOperation) {
  TTempDir dir;
  const TRun r = Cli({WithDir("%S", dir), "read-flash", dir / "r.hex"}, StopAfterStart(2, SIGTERM));
  EXPECT_EQ(r.FStatus, 143);
  EXPECT_EQ(r.FErr, "stopping after this operation\n");
  EXPECT_EQ(r.FOut.find("Successfully"), std::string::npos) << r.FOut;
  EXPECT_TRUE(std::filesystem::exists(dir / "s.qvs"));
  EXPECT_FALSE(std::filesystem::exists(dir / "r.hex"));
}

TEST(CliShortNames, AreWrittenAsIntelHex) {
  TTempDir dir;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.FPath);  // the name is relative
  WriteBytes("a.bin", {0x12, 0x34});
  const TRun r = Cli({"convert", "a.bin", "ab"});
  const std::string written = ReadText("ab");
  std::filesystem::current_path(previous);
  EXPECT_EQ(r.FStatus, 0) << r.FErr;
  EXPECT_EQ(written, ":100000001234" + std::string(28, 'F') + "B8\r\n:00000001FF");
}

}  // namespace
}  // namespace quenvar::cli_test
