// What the command line checks before the programmer is touched, what it
// checks after a fuse write, its own messages in the three languages, and how
// it stops when asked to.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli_test_util.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/sim/sim_state_file.h"

namespace quenvar::cli_test {
namespace {

const std::string kMega8Identify =
    "reading signature byte...\nID: 1E 93 07\nreading fuse bis...\n"
    "Calibration Byte 0: A7\nCalibration Byte 1: A9\nCalibration Byte 2: AC\n"
    "Calibration Byte 3: AE\n";
const std::string kSuccess = "\nSuccessfully finished.\nDuration: #.## s\n";

// %D in a text stands for the test's folder.
std::string WithDir(std::string text, const TTempDir& dir) {
  for (std::size_t at = text.find("%D"); at != std::string::npos; at = text.find("%D", at))
    text.replace(at, 2, dir.Path.string());
  return text;
}

std::vector<std::string> WithDir(const std::vector<std::string>& args, const TTempDir& dir) {
  std::vector<std::string> out;
  for (const std::string& arg : args) out.push_back(WithDir(arg, dir));
  return out;
}

auto CaseName = [](const auto& info) { return info.param.Name; };

struct TBeforeCase {
  std::string Name;
  std::vector<std::string> Args;
  std::string Err;
};

class CliBeforeTheDevice : public ::testing::TestWithParam<TBeforeCase> {};

TEST_P(CliBeforeTheDevice, RefusedWithoutASuccessLine) {
  TTempDir dir;
  const TRun r = Cli(WithDir(GetParam().Args, dir));
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err, WithDir(GetParam().Err, dir));
  // The simulated chip was never asked, so its state was not saved either.
  EXPECT_FALSE(std::filesystem::exists(dir / "s.qvs"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliBeforeTheDevice,
    ::testing::Values(
        TBeforeCase{"ReadIntoAMissingFolder",
                    {"--simulate=state=%D/s.qvs", "read-flash", "%D/missing/r.bin"},
                    "Cannot create %D/missing/r.bin.\r\n(No such file or directory.)\n"},
        TBeforeCase{"ReadOntoAFolder",
                    {"--simulate=state=%D/s.qvs", "read-eeprom", "%D"},
                    "Cannot create %D.\r\n(Is a directory.)\n"},
        TBeforeCase{"OutputOfALaterCommand",
                    {"--simulate=state=%D/s.qvs", "erase", "read-flash", "%D/missing/r.hex"},
                    "Cannot create %D/missing/r.hex.\r\n(No such file or directory.)\n"},
        TBeforeCase{"StateInAMissingFolder",
                    {"--simulate=state=%D/missing/s.qvs", "detect"},
                    "quenvar-cli: %D/missing/s.qvs: No such file or directory\n"},
        TBeforeCase{"StateIsAFolder",
                    {"--simulate=state=%D", "detect"},
                    "quenvar-cli: %D: Is a directory\n"},
        TBeforeCase{"FuseNameNoChipHas",
                    {"--simulate=state=%D/s.qvs", "write-fuses", "--program", "CKSEL0,NOPE"},
                    "quenvar-cli: no chip has a bit 'NOPE'; nothing written\n"}),
    CaseName);

struct TTooLargeCase {
  std::string Name;
  std::string Lang;
  std::string Command;
  std::string Target;
  std::size_t Size;
  std::string Err;  // %F: the image's path
};

class CliSocketTooLarge : public ::testing::TestWithParam<TTooLargeCase> {};

TEST_P(CliSocketTooLarge, NothingIsSent) {
  TTempDir dir;
  const TTooLargeCase& c = GetParam();
  WriteBytes(dir / "big.bin", Noise(c.Size, 5));
  const TRun r = Cli({"--simulate=socket=24AA512,state=" + (dir / "s.qvs"), "--no-verify", "--lang",
                      c.Lang, "--target", c.Target, c.Command, dir / "big.bin"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Out, "");
  std::string expected = c.Err;
  expected.replace(expected.find("%F"), 2, dir / "big.bin");
  EXPECT_EQ(r.Err, expected);
  auto state = LoadSimStateFile(dir / "s.qvs");
  ASSERT_TRUE(state) << state.Error;
  EXPECT_EQ(state.Value->Socket.Content(), std::vector<std::uint8_t>(65536, 0xFF));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliSocketTooLarge,
    ::testing::Values(
        TTooLargeCase{"WriteEnglish", "en", "write-flash", "24AA01", 200,
                      "quenvar-cli: '%F' has 200 bytes, 24AA01 holds 128 bytes; nothing sent\n"},
        TTooLargeCase{"WriteGerman", "de", "write-flash", "0", 17,
                      "quenvar-cli: '%F' hat 17 Bytes, 24AA00 fasst 16 Bytes; nichts gesendet\n"},
        TTooLargeCase{"VerifyRussian", "ru", "verify", "24AA512", 65537,
                      "quenvar-cli: в '%F' 65537 байт, 24AA512 вмещает 65536 байт; ничего не "
                      "отправлено\n"}),
    CaseName);

TEST(CliSocketTooLarge, AnImageOfTheFullSizeIsWritten) {
  TTempDir dir;
  WriteBytes(dir / "full.bin", Noise(128, 6));
  const TRun r =
      Cli({"--simulate=socket=24AA01", "--target", "24AA01", "write-flash", dir / "full.bin"});
  EXPECT_EQ(r.Status, 0) << r.Err;
}

struct TReadBackCase {
  std::string Name;
  std::string Lang;
  std::string Err;
};

class CliFuseReadBack : public ::testing::TestWithParam<TReadBackCase> {};

TEST_P(CliFuseReadBack, ALockBitStaysUntilAnErase) {
  TTempDir dir;
  const std::string sim = "--simulate=isp=ATmega8,state=" + (dir / "s.qvs");
  ASSERT_EQ(Cli({sim, "write-fuses", "--program", "Lock bit 1"}).Status, 0);
  const TRun r =
      Cli({sim, "--lang", GetParam().Lang, "write-fuses", "--unprogram", "lock bit 1,CKSEL0"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, GetParam().Err);
  // CKSEL0 took; the lock bit did not. The read-back's success line is not shown.
  auto state = LoadSimStateFile(dir / "s.qvs");
  ASSERT_TRUE(state) << state.Error;
  EXPECT_EQ(state.Value->Avr.LockByte() & 0x03, 0x02);
  EXPECT_EQ(state.Value->Avr.LowFuse(), 0xE1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliFuseReadBack,
    ::testing::Values(TReadBackCase{"English", "en",
                                    "quenvar-cli: 'Lock bit 1' did not take: still programmed "
                                    "(lock bits are cleared only by an erase)\n"},
                      TReadBackCase{"German", "de",
                                    "quenvar-cli: 'Lock bit 1' wurde nicht übernommen: noch "
                                    "programmiert (Lock-Bits löscht nur das Löschen des Chips)\n"},
                      TReadBackCase{
                          "Russian", "ru",
                          "quenvar-cli: 'Lock bit 1' не записан: всё ещё "
                          "запрограммирован (lock-биты сбрасываются только стиранием)\n"}),
    CaseName);

TEST(CliFuseReadBack, TheLogShowsTheReadBack) {
  TTempDir dir;
  const std::string sim = "--simulate=isp=ATmega8,state=" + (dir / "s.qvs");
  ASSERT_EQ(Cli({sim, "write-fuses", "--program", "Lock bit 1"}).Status, 0);
  const TRun r = Cli({sim, "write-fuses", "--unprogram", "Lock bit 1"});
  EXPECT_EQ(Masked(r.Out), kMega8Identify + kSuccess + "programming fuse/lock bis...\n" + kSuccess +
                               kMega8Identify);
}

struct TGuardCase {
  std::string Name;
  std::string Chip;
  std::string Lang;
  std::string Program;
  std::string Err;  // empty: written
};

class CliIspGuard : public ::testing::TestWithParam<TGuardCase> {};

TEST_P(CliIspGuard, RefusedUnlessForced) {
  TTempDir dir;
  const TGuardCase& c = GetParam();
  const std::string sim = "--simulate=isp=" + c.Chip + ",state=" + (dir / "s.qvs");
  const TRun r = Cli({sim, "--lang", c.Lang, "write-fuses", "--program", c.Program});
  auto before = LoadSimStateFile(dir / "s.qvs");
  ASSERT_TRUE(before) << before.Error;
  if (c.Err.empty()) {
    EXPECT_EQ(r.Status, 0) << r.Err;
    return;
  }
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, c.Err);
  // Nothing was written; --force writes what was asked for.
  const TRun forced = Cli({sim, "write-fuses", "--program", c.Program, "--force"});
  EXPECT_EQ(forced.Status, 0) << forced.Err;
  auto after = LoadSimStateFile(dir / "s.qvs");
  ASSERT_TRUE(after) << after.Error;
  EXPECT_NE(after.Value->Avr.HighFuse(), before.Value->Avr.HighFuse());
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliIspGuard,
    ::testing::Values(
        TGuardCase{"Mega8ResetPin", "ATmega8", "en", "CKOPT,RSTDISBL",
                   "quenvar-cli: programming RSTDISBL would make the chip unreachable over ISP; "
                   "nothing written (--force writes anyway)\n"},
        TGuardCase{"Mega168BothBits", "ATmega168", "de", "DWEN,RSTDISBL",
                   "quenvar-cli: das Programmieren von RSTDISBL, DWEN machte den Chip über ISP "
                   "unerreichbar; nichts geschrieben (--force schreibt trotzdem)\n"},
        TGuardCase{"Tiny13DebugWire", "ATtiny13", "ru", "DWEN",
                   "quenvar-cli: программирование DWEN сделает микросхему недоступной через ISP; "
                   "ничего не записано (--force записывает всё равно)\n"},
        TGuardCase{"OtherBitsPass", "ATmega8", "en", "CKOPT", ""}),
    CaseName);

TEST(CliIspGuard, ABitAlreadyProgrammedIsNoNews) {
  TTempDir dir;
  const std::string sim = "--simulate=isp=ATmega8,state=" + (dir / "s.qvs");
  ASSERT_EQ(Cli({sim, "write-fuses", "--program", "RSTDISBL", "--force"}).Status, 0);
  const TRun r = Cli({sim, "write-fuses", "--program", "RSTDISBL,CKOPT"});
  EXPECT_EQ(r.Status, 0) << r.Err;
}

struct TMessageCase {
  std::string Name;
  std::string Lang;
  bool Programmer;
  std::string Text;  // standard error without, the last output line with a programmer
};

class CliOwnMessages : public ::testing::TestWithParam<TMessageCase> {};

TEST_P(CliOwnMessages, FollowTheLanguage) {
  const TMessageCase& c = GetParam();
  if (c.Programmer) {
    const TRun r = Cli({"--simulate", "--lang", c.Lang, "detect"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_TRUE(EndsWith(r.Out, c.Text)) << r.Out;
    return;
  }
  TCliEnvironment env;
  auto backend = std::make_shared<TSimHidBackend>();
  env.MakeBackend = [backend] { return backend; };
  const TRun r = Cli({"--lang", c.Lang, "erase"}, env);
  EXPECT_EQ(r.Status, 3);
  EXPECT_EQ(r.Err, c.Text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliOwnMessages,
    ::testing::Values(
        TMessageCase{"NoProgrammerGerman", "de", false, "Kein Programmer gefunden (0451:3210).\n"},
        TMessageCase{"NoProgrammerEnglish", "en", false, "No programmer found (0451:3210).\n"},
        TMessageCase{"NoProgrammerRussian", "ru", false, "Программатор не найден (0451:3210).\n"},
        TMessageCase{"ChipGerman", "de", true, "\nChip: ATmega8, 8192 Bytes Flash\n"},
        TMessageCase{"ChipEnglish", "en", true, "\nChip: ATmega8, 8192 bytes of flash\n"},
        TMessageCase{"ChipRussian", "ru", true, "\nМикросхема: ATmega8, 8192 байт flash-памяти\n"}),
    CaseName);

// Stop requests in place of real signals: the count rises after the first
// poll, i.e. once the first command has started.
TCliEnvironment StopAfterStart(int count, int signal) {
  TCliEnvironment env;
  env.PollStop = [count, signal, polls = 0]() mutable {
    return polls++ == 0 ? TCliStopRequest{} : TCliStopRequest{count, signal};
  };
  return env;
}

TEST(CliStop, FirstRequestFinishesTheOperationAndStartsNoOther) {
  TTempDir dir;
  WriteBytes(dir / "a.bin", Noise(300, 7));
  const std::string sim = "--simulate=isp=ATmega8,state=" + (dir / "s.qvs");
  const TRun r =
      Cli({sim, "--lang", "de", "write-flash", dir / "a.bin", "read-flash", dir / "b.bin"},
          StopAfterStart(1, SIGINT));
  EXPECT_EQ(r.Status, 130);
  EXPECT_EQ(r.Err, "Abbruch nach diesem Vorgang\n");
  EXPECT_TRUE(EndsWith(Masked(r.Out), "\nErfolgreich beendet.\nDauer: #.## s\n")) << r.Out;
  EXPECT_FALSE(std::filesystem::exists(dir / "b.bin"));
  auto state = LoadSimStateFile(dir / "s.qvs");
  ASSERT_TRUE(state) << state.Error;
  EXPECT_EQ(std::vector<std::uint8_t>(state.Value->Avr.Flash().begin(),
                                      state.Value->Avr.Flash().begin() + 300),
            Noise(300, 7));
}

TEST(CliStop, FirstRequestDuringTheLastCommandKeepsItsStatus) {
  const TRun r = Cli({"--simulate", "erase"}, StopAfterStart(1, SIGTERM));
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Err, "stopping after this operation\n");
}

TEST(CliStop, SecondRequestAbandonsTheOperation) {
  TTempDir dir;
  const std::string sim = "--simulate=isp=ATmega8,state=" + (dir / "s.qvs");
  const TRun r = Cli({sim, "read-flash", dir / "r.hex"}, StopAfterStart(2, SIGTERM));
  EXPECT_EQ(r.Status, 143);
  EXPECT_EQ(r.Err, "stopping after this operation\n");
  EXPECT_EQ(r.Out.find("Successfully"), std::string::npos) << r.Out;
  EXPECT_EQ(std::filesystem::directory_iterator(dir.Path)->path().filename(), "s.qvs");
  EXPECT_TRUE(++std::filesystem::directory_iterator(dir.Path) ==
              std::filesystem::directory_iterator());
}

// Names are relative to the current folder: run in the test's own.
class TCurrentDir {
 public:
  explicit TCurrentDir(const std::filesystem::path& path)
      : Previous(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~TCurrentDir() { std::filesystem::current_path(Previous); }
  TCurrentDir(const TCurrentDir&) = delete;
  TCurrentDir& operator=(const TCurrentDir&) = delete;

 private:
  std::filesystem::path Previous;
};

TEST(CliShortNames, AreWrittenAsIntelHex) {
  TTempDir dir;
  const TCurrentDir here(dir.Path);
  WriteBytes("a.bin", {0x12, 0x34});
  const TRun r = Cli({"convert", "a.bin", "ab", "convert", "a.bin", "b"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::string hex = ":100000001234" + std::string(28, 'F') + "B8\r\n:00000001FF";
  EXPECT_EQ(ReadText("ab"), hex);
  EXPECT_EQ(ReadText("b"), hex);
}

}  // namespace
}  // namespace quenvar::cli_test
