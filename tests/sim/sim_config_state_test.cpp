// Configuration texts and the state file.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "case_name.h"
#include "quenvar/sim/sim_state_file.h"
#include "sim_test_support.h"
#include "system_texts.h"
#include "temp_dir.h"

namespace quenvar::simtest {
namespace {

struct TGoodConfigCase {
  const char* FText;
  TSimIspSetup FIsp;
  const char* FSocket;
  bool FRealTiming;
  const char* FStatePath;
};
void PrintTo(const TGoodConfigCase& c, std::ostream* os) {
  *os << c.FText;
}

class SimConfigGoodTest : public ::testing::TestWithParam<TGoodConfigCase> {};

TEST_P(SimConfigGoodTest, Parses) {
  const auto parsed = ParseSimConfig(GetParam().FText);
  ASSERT_TRUE(parsed) << parsed.Error().FText;
  EXPECT_EQ(parsed->FIsp, GetParam().FIsp);
  EXPECT_EQ(parsed->FSocket, GetParam().FSocket);
  EXPECT_EQ(parsed->FRealTiming, GetParam().FRealTiming);
  EXPECT_EQ(parsed->FStatePath, GetParam().FStatePath);
}

const TSimIspSetup kMega8{TSimIspKind::Chip, "ATmega8", {}};

INSTANTIATE_TEST_SUITE_P(
    Config, SimConfigGoodTest,
    ::testing::Values(
        TGoodConfigCase{"", kMega8, "24AA256", true, ""},
        TGoodConfigCase{"isp=ATmega8,socket=24AA256,timing=real", kMega8, "24AA256", true, ""},
        TGoodConfigCase{"isp=atmega16", {TSimIspKind::Chip, "ATmega16", {}}, "24AA256", true, ""},
        TGoodConfigCase{
            "isp=AT90S/LS2323", {TSimIspKind::Chip, "AT90S/LS2323", {}}, "24AA256", true, ""},
        TGoodConfigCase{"isp=locked", {TSimIspKind::Locked, "", {}}, "24AA256", true, ""},
        TGoodConfigCase{
            "isp=locked:attiny13", {TSimIspKind::Locked, "ATtiny13", {}}, "24AA256", true, ""},
        TGoodConfigCase{"isp=none", {TSimIspKind::None, "", {}}, "24AA256", true, ""},
        TGoodConfigCase{"isp=sig:1E9307",
                        {TSimIspKind::Signature, "", {0x1E, 0x93, 0x07}},
                        "24AA256",
                        true,
                        ""},
        TGoodConfigCase{"isp=SIG:00a1fF",
                        {TSimIspKind::Signature, "", {0x00, 0xA1, 0xFF}},
                        "24AA256",
                        true,
                        ""},
        TGoodConfigCase{"socket=24aa00", kMega8, "24AA00", true, ""},
        TGoodConfigCase{"socket=24AA128 / 24(L/F)C128", kMega8, "24AA128", true, ""},
        TGoodConfigCase{"socket=24C04A,timing=none", kMega8, "24C04A", false, ""},
        TGoodConfigCase{"timing=NONE", kMega8, "24AA256", false, ""},
        TGoodConfigCase{"state=/tmp/chips.bin", kMega8, "24AA256", true, "/tmp/chips.bin"},
        TGoodConfigCase{
            " isp = none , timing=none ,", {TSimIspKind::None, "", {}}, "24AA256", false, ""},
        TGoodConfigCase{"state=a=b.bin,,isp=ATmega128",
                        {TSimIspKind::Chip, "ATmega128", {}},
                        "24AA256",
                        true,
                        "a=b.bin"}),
    [](const auto& info) { return test::CaseName(info.param.FText); });

const char* const kIspNames =
    "AT90S1200, ATtiny12, ATtiny15L, ATtiny13, AT90S2313, AT90S/LS2323, AT90S/LS2343, "
    "AT90S/LS2333, ATtiny22, ATtiny26, ATtiny2313, AT90S/LS4433, ATmega48, AT90S8515, "
    "AT90S/LS8535, ATmega8515, ATmega8, ATmega8535, ATmega88, AT90pwm2, AT90pwm3, ATmega16, "
    "ATmega162, ATmega169, ATmega168, ATmega165, ATmega32, ATmega64, ATmega128, locked, "
    "locked:CHIP, none, sig:HHHHHH";

struct TBadConfigCase {
  const char* FText;
  std::string FError;
};
void PrintTo(const TBadConfigCase& c, std::ostream* os) {
  *os << c.FText;
}

class SimConfigBadTest : public ::testing::TestWithParam<TBadConfigCase> {};

TEST_P(SimConfigBadTest, GivesTheExactError) {
  const auto parsed = ParseSimConfig(GetParam().FText);
  ASSERT_FALSE(parsed);
  EXPECT_EQ(parsed.Error(), TError(TErrorKind::BadOption, GetParam().FError));
}

INSTANTIATE_TEST_SUITE_P(
    Config, SimConfigBadTest,
    ::testing::Values(
        TBadConfigCase{"isp=ATmega2560",
                       std::string("unknown ISP chip 'ATmega2560'; valid: ") + kIspNames},
        TBadConfigCase{"isp=locked:foo",
                       std::string("unknown ISP chip 'locked:foo'; valid: ") + kIspNames},
        TBadConfigCase{"isp=", std::string("unknown ISP chip ''; valid: ") + kIspNames},
        TBadConfigCase{"isp=sig:1E93",
                       "bad signature 'sig:1E93'; write sig: and six hex digits, e.g. sig:1E9307"},
        TBadConfigCase{
            "isp=sig:1E93G7",
            "bad signature 'sig:1E93G7'; write sig: and six hex digits, e.g. sig:1E9307"},
        TBadConfigCase{"socket=24LC256",
                       "unknown socket EEPROM '24LC256'; valid: 24AA00, 24AA01, 24C01C, 24AA02, "
                       "24C02C, 24C04A, 24AA04, 24AA08, 24AA16, 24AA32A, 24AA64, 24AA128, "
                       "24AA256, 24AA512"},
        TBadConfigCase{"timing=fast", "unknown timing 'fast'; valid: none, real"},
        TBadConfigCase{"speed=1",
                       "unknown simulation setting 'speed'; valid settings: isp, socket, timing, "
                       "state, programmers, chips"},
        TBadConfigCase{"isp=none,ATmega8",
                       "simulation setting 'ATmega8' has no value; write NAME=VALUE"},
        TBadConfigCase{"state=", "simulation setting 'state' needs a file path"},
        TBadConfigCase{"isp=none,ISP=ATmega8", "simulation setting 'isp' given twice"},
        TBadConfigCase{"programmers=9",
                       "bad programmers count '9'; write a whole number from 1 to 8"},
        TBadConfigCase{"programmers=+2",
                       "bad programmers count '+2'; write a whole number from 1 to 8"},
        TBadConfigCase{"chips=0", "bad chips count '0'; write a whole number from 1 to 1000000"},
        TBadConfigCase{"chips=4294967297",
                       "bad chips count '4294967297'; write a whole number from 1 to 1000000"},
        TBadConfigCase{"chips=1,chips=2", "simulation setting 'chips' given twice"}),
    [](const auto& info) { return test::CaseName(info.param.FText); });

TEST(SimConfig, BuildsTheConfiguredChips) {
  const auto parsed = ParseSimConfig("isp=ATmega32,socket=24AA64,timing=none");
  ASSERT_TRUE(parsed);
  TSimProgrammer sim(parsed.Value());
  EXPECT_EQ(sim.Avr().Flash().size(), 32768u);
  EXPECT_EQ(sim.Avr().Eeprom().size(), 1024u);
  EXPECT_EQ(sim.Socket().Content().size(), 8192u);
  EXPECT_FALSE(sim.RealTiming());
  const TSimProgrammer defaults;
  EXPECT_TRUE(defaults.RealTiming());
}

class SimStateFileTest : public ::testing::Test {
 protected:
  test::TTempDir FDir;
  std::string FPath = FDir / "state.bin";
};

TEST_F(SimStateFileTest, LayoutStartsAsDocumented) {
  TSimAvrChip chip(*FindSimAvrModel("ATmega8"));
  TSim24xx socket(*FindSim24xxModel("24AA00"));
  const auto bytes = SerializeSimState(chip, socket);
  const TBytes head{'Q',  'V',  'S',  'I',  'M',  'S',  'T',  '1',  7,    'A',  'T',
                    'm',  'e',  'g',  'a',  '8',  0x1E, 0x93, 0x07, 0x00, 0xFF, 0xE1,
                    0xD9, 0xFF, 0xA7, 0xA9, 0xAC, 0xAE, 0x00, 0x20, 0x00, 0x00};
  ASSERT_GE(bytes.size(), head.size());
  EXPECT_EQ(TBytes(bytes.begin(), bytes.begin() + 32), head);
  // flash, then EEPROM length 512, then the socket part.
  const std::size_t eepromAt = 32 + 8192;
  EXPECT_EQ(TBytes(bytes.begin() + eepromAt, bytes.begin() + eepromAt + 4),
            (TBytes{0x00, 0x02, 0x00, 0x00}));
  const std::size_t socketAt = eepromAt + 4 + 512;
  EXPECT_EQ(
      TBytes(bytes.begin() + socketAt, bytes.end()),
      (TBytes{6,    '2',  '4',  'A',  'A',  '0',  '0',  16,   0,    0,    0,    0xFF, 0xFF, 0xFF,
              0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(SimStateFileTest, SeparateRunsSeeTheSameChips) {
  TSimConfig config = NoTiming("ATtiny2313", "24AA16");
  config.FStatePath = FPath;
  {
    auto run = TSimProgrammer::FromConfig(config);
    ASSERT_TRUE(run) << run.Error().FText;
    TSimProgrammer& first = *run.Value();
    TRecordingHost host;
    SendChunks(first, host, kIsp, 3, TBytes{1, 2, 3}, 58, 1, 129);
    SendChunks(first, host, kIsp, 9, TBytes{4, 5}, 58, 1, 0);
    first.OnOutputReport(Records(7, {{0xE0, 0x00, 0xFE}, {0xA0, 0x00, 0x24}}), host);
    SendChunks(first, host, kSocket, 3, TBytes{6, 7}, 32, 16, 16);
    ASSERT_TRUE(first.SaveState());
  }
  config = NoTiming();  // the file decides the chips
  config.FStatePath = FPath;
  auto second = TSimProgrammer::FromConfig(config);
  ASSERT_TRUE(second) << second.Error().FText;
  TSimProgrammer& sim = *second.Value();
  TRecordingHost host;
  sim.OnOutputReport(Out(kIsp, 1), host);
  sim.OnOutputReport(Records(8, {{0x58, 0, 0}, {0x50, 0, 0}, {0x38, 0, 1}}), host);
  EXPECT_EQ(host.FReports,
            (std::vector<TBytes>{In({'s', 0x1E, 0x91, 0x0A}), In({'r', 0xFE, 0x24, 0x61})}));
  EXPECT_EQ(TBytes(sim.Avr().Flash().begin(), sim.Avr().Flash().begin() + 4),
            (TBytes{1, 2, 3, 0xFF}));
  EXPECT_EQ(TBytes(sim.Avr().Eeprom().begin(), sim.Avr().Eeprom().begin() + 3),
            (TBytes{4, 5, 0xFF}));
  EXPECT_EQ(sim.Socket().Content().size(), 2048u);
  EXPECT_EQ(sim.Socket().Content()[1], 7);
}

TEST_F(SimStateFileTest, MissingFileGivesFreshChipsOfTheConfig) {
  TSimConfig config = NoTiming("ATmega16");
  config.FStatePath = FPath;
  for (int run = 0; run < 2; ++run) {  // the second run finds the empty file the first created
    auto sim = TSimProgrammer::FromConfig(config);
    ASSERT_TRUE(sim) << sim.Error().FText;
    EXPECT_EQ(sim.Value()->Avr().Flash().size(), 16384u);
    EXPECT_EQ(std::filesystem::file_size(FPath), 0u);
  }
}

TEST_F(SimStateFileTest, LockedChipKeepsItsSecret) {
  TSimProgrammer first(TSimAvrChip::Locked(FindSimAvrModel("ATmega8")),
                       TSim24xx(*FindSim24xxModel("24AA01")), false);
  ASSERT_TRUE(SaveSimStateFile(FPath, first.Avr(), first.Socket()));
  TSimConfig config = NoTiming();
  config.FStatePath = FPath;
  auto loaded = TSimProgrammer::FromConfig(config);
  ASSERT_TRUE(loaded) << loaded.Error().FText;
  TSimProgrammer& second = *loaded.Value();
  TRecordingHost host;
  second.OnOutputReport(Out(kIsp, 1), host);
  second.OnOutputReport(Out(kIsp, 2), host);
  second.OnOutputReport(Out(kIsp, 1), host);
  EXPECT_EQ(host.FReports,
            (std::vector<TBytes>{In({'s', 0, 1, 2}), In({'e'}), In({'s', 0x1E, 0x93, 0x07})}));
}

struct TBadStateCase {
  const char* FName;
  std::function<void(TBytes&)> FDamage;
  const char* FError;
};
void PrintTo(const TBadStateCase& c, std::ostream* os) {
  *os << c.FName;
}

class SimBadStateTest : public ::testing::TestWithParam<TBadStateCase> {};

TEST_P(SimBadStateTest, IsRefusedWithAReason) {
  TBytes bytes = SerializeSimState(TSimAvrChip(*FindSimAvrModel("ATtiny13")),
                                   TSim24xx(*FindSim24xxModel("24AA00")));
  GetParam().FDamage(bytes);
  const auto state = DeserializeSimState(bytes);
  ASSERT_FALSE(state);
  EXPECT_EQ(state.Error(), TError(TErrorKind::BadContent, GetParam().FError));
}

INSTANTIATE_TEST_SUITE_P(
    State, SimBadStateTest,
    ::testing::Values(
        TBadStateCase{"Magic", [](TBytes& b) { b[0] = 'X'; }, "not a simulator state file"},
        TBadStateCase{"Empty", [](TBytes& b) { b.clear(); }, "not a simulator state file"},
        TBadStateCase{"Truncated", [](TBytes& b) { b.pop_back(); },
                      "truncated simulator state file"},
        TBadStateCase{"Extra", [](TBytes& b) { b.push_back(0); },
                      "simulator state file has extra bytes at the end"},
        TBadStateCase{"UnknownChip", [](TBytes& b) { b[10] = 'X'; },
                      "unknown chip 'AXtiny13' in simulator state file"},
        TBadStateCase{"FlashSize",
                      [](TBytes& b) {
                        b[29] = 0xFF;  // 1024 -> 1023, one flash byte less
                        b[30] = 0x03;
                        b.erase(b.begin() + 33);
                      },
                      "memory sizes in simulator state file do not match the chip"},
        TBadStateCase{"SocketName", [](TBytes& b) { b[b.size() - 23] = 'X'; },
                      "unknown socket EEPROM '24AX00' in simulator state file"}),
    [](const auto& info) { return std::string(info.param.FName); });

// Every state file error names the path and says what the system said.
struct TStateFileErrorCase {
  const char* FName;
  const char* FEntry;  // the state path in the temp folder
  char FMake;          // 'd' folder, 'p' FIFO (Windows: the NUL device), 't' a text, else nothing
  std::string FError;  // after "<path>: "
};

class SimStateFileErrors : public ::testing::TestWithParam<TStateFileErrorCase> {};

TEST_P(SimStateFileErrors, NameThePathAndTheReason) {
  test::TTempDir dir;
  TSimConfig config = NoTiming();
  config.FStatePath = dir / GetParam().FEntry;
  if (GetParam().FMake == 'd') std::filesystem::create_directory(config.FStatePath);
#ifdef _WIN32
  if (GetParam().FMake == 'p') config.FStatePath = "NUL";
#else
  if (GetParam().FMake == 'p') ::mkfifo(config.FStatePath.c_str(), 0600);
#endif
  if (GetParam().FMake == 't') test::WriteText(config.FStatePath, "QVSIMST0");
  const std::string expected = config.FStatePath + ": " + GetParam().FError;
  const auto run = TSimProgrammer::FromConfig(config);
  ASSERT_FALSE(run);
  EXPECT_EQ(run.Error().FText, expected);
  EXPECT_EQ(run.Error().FPath, config.FStatePath);
  const auto loaded = LoadSimStateFile(config.FStatePath);
  ASSERT_FALSE(loaded);
  EXPECT_EQ(loaded.Error().FText, expected);
  EXPECT_EQ(loaded.Error().FPath, config.FStatePath);
}

void PrintTo(const TStateFileErrorCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    State, SimStateFileErrors,
    ::testing::Values(TStateFileErrorCase{"MissingFolder", "no/s.qvs", '-',
                                          "cannot open simulator state file: " +
                                              test::MissingFolderReason().FText},
                      TStateFileErrorCase{
                          "Folder", "s.qvs", 'd',
                          "cannot open simulator state file: " + test::FolderReason().FText},
                      TStateFileErrorCase{"Fifo", "s.qvs", 'p',
                                          "cannot open simulator state file: Not a regular file"},
                      TStateFileErrorCase{"NotAState", "s.qvs", 't', "not a simulator state file"}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST(SimStateFileSave, FailureNamesThePathAndTheReason) {
  EXPECT_EQ(SaveSimStateFile("/nonexistent-dir/s.qvs", TSimAvrChip(*FindSimAvrModel("ATtiny13")),
                             TSim24xx(*FindSim24xxModel("24AA00")))
                .Error()
                .FText,
            "/nonexistent-dir/s.qvs: cannot write simulator state file: " +
                test::MissingFolderReason().FText);
}

// Two runs on one state file at once: the second waits until the first has
// saved and let go, and then works on the first one's chips.
TEST(SimStateFileLock, SecondRunWaitsAndKeepsTheFirstRunsWrite) {
  test::TTempDir dir;
  TSimConfig config = NoTiming("ATtiny2313", "24AA16");
  config.FStatePath = dir / "s.qvs";
  auto first = TSimProgrammer::FromConfig(config);
  ASSERT_TRUE(first) << first.Error().FText;

  std::promise<void> waiting;
  std::shared_ptr<TSimProgrammer> second;
  std::thread other([&] {
    auto run = TSimProgrammer::FromConfig(config, [&] { waiting.set_value(); });
    ASSERT_TRUE(run) << run.Error().FText;
    second = run.Value();
  });
  // Without the lock the second run would not wait, and would not see the write.
  EXPECT_EQ(waiting.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  TRecordingHost host;
  SendChunks(*first.Value(), host, kIsp, 3, TBytes{0xA5, 0x5A}, 58, 1, 129);
  ASSERT_TRUE(first.Value()->SaveState());
  first.Value()->ReleaseState();
  other.join();

  ASSERT_TRUE(second);
  EXPECT_EQ(TBytes(second->Avr().Flash().begin(), second->Avr().Flash().begin() + 3),
            (TBytes{0xA5, 0x5A, 0xFF}));
  // A released run writes nothing any more.
  first.Value()->Avr().Flash()[0] = 0x00;
  ASSERT_TRUE(first.Value()->SaveState());
  EXPECT_EQ(LoadSimStateFile(config.FStatePath)->FAvr.Flash()[0], 0xA5);
}

}  // namespace
}  // namespace quenvar::simtest
