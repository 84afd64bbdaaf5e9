// End to end against the simulated programmer, in-process, with a state file
// so that separate runs see the same chip.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "case_name.h"
#include "cli_test_util.h"
#include "quenvar/sim/sim_state_file.h"

namespace quenvar::cli_test {
namespace {

// The log of every ISP operation on a factory-fresh ATmega8 starts like this:
// signature 1E 93 07, then the fuse read with its four calibration bytes.
const std::string kMega8Identify =
    "reading signature byte...\n"
    "ID: 1E 93 07\n"
    "reading fuse bis...\n"
    "Calibration Byte 0: A7\n"
    "Calibration Byte 1: A9\n"
    "Calibration Byte 2: AC\n"
    "Calibration Byte 3: AE\n";
const std::string kSuccess = "\nSuccessfully finished.\nDuration: #.## s\n";
const std::string kError = "\nError.\nDuration: #.## s\n";

// ATmega8 as shipped: lock FF, high fuse D9, low fuse E1 (datasheet defaults).
const std::string kMega8FactoryFuses =
    "[ ] Boot lock bit 12\n"
    "[ ] Boot lock bit 11\n"
    "[ ] Boot lock bit 02\n"
    "[ ] Boot lock bit 01\n"
    "[ ] Lock bit 2\n"
    "[ ] Lock bit 1\n"
    "[ ] RSTDISBL\n"
    "[ ] WDT always on\n"
    "[x] SPIEN (greyed)\n"
    "[ ] CKOPT\n"
    "[ ] EESAVE\n"
    "[x] BOOTSZ1\n"
    "[x] BOOTSZ0\n"
    "[ ] BOOTRST\n"
    "[ ] BODLEVEL\n"
    "[ ] BODEN\n"
    "[ ] SUT1\n"
    "[x] SUT0\n"
    "[x] CKSEL3\n"
    "[x] CKSEL2\n"
    "[x] CKSEL1\n"
    "[ ] CKSEL0\n";
const std::string kMega8Calibration =
    "Calibration Byte 0: A7\n"
    "Calibration Byte 1: A9\n"
    "Calibration Byte 2: AC\n"
    "Calibration Byte 3: AE\n";

class CliDevice : public ::testing::Test {
 protected:
  std::string Sim(const std::string& setup = "isp=ATmega8") const {
    return "--simulate=" + setup + ",state=" + State();
  }
  std::string State() const { return Dir / "chip.qvs"; }
  TSimState SavedState() const {
    auto loaded = LoadSimStateFile(State());
    EXPECT_TRUE(loaded) << (loaded ? "" : loaded.Error().FText);
    return std::move(loaded.Value());
  }

  TTempDir Dir;
};

TEST_F(CliDevice, DetectPrintsTheLogAndTheChip) {
  const TRun r = Cli({Sim(), "detect"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(Masked(r.Out), kMega8Identify + kSuccess + "Chip: ATmega8, 8192 bytes of flash\n");
  EXPECT_EQ(r.Err, "");
  EXPECT_TRUE(std::filesystem::exists(State()));
}

TEST_F(CliDevice, ReadFusesListsEveryBoxAndTheCalibration) {
  const TRun r = Cli({Sim(), "read-fuses"});
  EXPECT_EQ(r.Status, 0);
  // The calibration bytes once, from the log.
  EXPECT_EQ(Masked(r.Out), kMega8Identify + kSuccess + "Chip: ATmega8, 8192 bytes of flash\n" +
                               kMega8FactoryFuses);
}

TEST_F(CliDevice, WriteFusesChangesOnlyTheNamedBoxesAndPersists) {
  const TRun w = Cli({Sim(), "write-fuses", "--program", "cksel0,BOOTRST", "--unprogram", "SUT0"});
  ASSERT_EQ(w.Status, 0) << w.Err;
  // The fuses are read back after the write.
  EXPECT_EQ(Masked(w.Out), kMega8Identify + kSuccess + "programming fuse/lock bis...\n" + kSuccess +
                               kMega8Identify + kSuccess);
  // Low E1 with CKSEL0 programmed and SUT0 unprogrammed is F0; high D9 with
  // BOOTRST programmed is D8.
  const TSimState state = SavedState();
  EXPECT_EQ(state.Avr.LowFuse(), 0xF0);
  EXPECT_EQ(state.Avr.HighFuse(), 0xD8);
  EXPECT_EQ(state.Avr.LockByte() & 0x3F, 0x3F);

  // A second run reads them back from the same chip.
  const TRun r = Cli({Sim(), "--quiet", "read-fuses"});
  EXPECT_NE(r.Out.find("[x] BOOTRST\n[ ] BODLEVEL\n[ ] BODEN\n[ ] SUT1\n[ ] SUT0\n[x] CKSEL3\n"
                       "[x] CKSEL2\n[x] CKSEL1\n[x] CKSEL0\n"),
            std::string::npos)
      << r.Out;
}

struct TFuseRefusal {
  std::string Name;
  std::vector<std::string> Args;
  bool Identified;  // whether the names could be checked only against the chip
  std::string Err;
};

class CliFuseRefusals : public CliDevice, public ::testing::WithParamInterface<TFuseRefusal> {};

TEST_P(CliFuseRefusals, NothingIsWritten) {
  std::vector<std::string> args = {Sim(), "write-fuses"};
  args.insert(args.end(), GetParam().Args.begin(), GetParam().Args.end());
  const TRun r = Cli(args);
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, GetParam().Err);
  if (!GetParam().Identified) {
    // A name no chip has is refused before the programmer is touched.
    EXPECT_EQ(r.Out, "");
    EXPECT_FALSE(std::filesystem::exists(State()));
    return;
  }
  // The identification ran without its success line; no fuse write followed it.
  EXPECT_EQ(Masked(r.Out), kMega8Identify);
  const TSimState state = SavedState();
  EXPECT_EQ(state.Avr.LowFuse(), 0xE1);
  EXPECT_EQ(state.Avr.HighFuse(), 0xD9);
}

void PrintTo(const TFuseRefusal& c, std::ostream* os) {
  *os << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliFuseRefusals,
    ::testing::Values(
        TFuseRefusal{"ProgramGreyed",
                     {"--program", "CKSEL0,SPIEN"},
                     true,
                     "quenvar-cli: fuse 'SPIEN' is greyed; nothing written\n"},
        TFuseRefusal{"UnprogramGreyed",
                     {"--unprogram", "spien"},
                     true,
                     "quenvar-cli: fuse 'SPIEN' is greyed; nothing written\n"},
        TFuseRefusal{"OtherChipsBit",
                     {"--program", "CKSEL0", "--unprogram", "DWEN"},
                     true,
                     "quenvar-cli: unknown fuse 'DWEN'; this chip has: Boot lock bit 12, Boot "
                     "lock bit 11, Boot lock bit 02, Boot lock bit 01, Lock bit 2, Lock bit 1, "
                     "RSTDISBL, WDT always on, SPIEN, CKOPT, EESAVE, BOOTSZ1, BOOTSZ0, BOOTRST, "
                     "BODLEVEL, BODEN, SUT1, SUT0, CKSEL3, CKSEL2, CKSEL1, CKSEL0; nothing "
                     "written\n"},
        TFuseRefusal{"NoChipsBit",
                     {"--program", "CKSEL0", "--unprogram", "JTAGEN"},
                     false,
                     "quenvar-cli: no chip has a bit 'JTAGEN'; nothing written\n"},
        TFuseRefusal{"MadeUpName",
                     {"--program", "NOPE"},
                     false,
                     "quenvar-cli: no chip has a bit 'NOPE'; nothing written\n"}),
    [](const auto& info) { return info.param.Name; });

TEST_F(CliDevice, WriteThenReadInOneChainGivesTheImage) {
  const std::vector<std::uint8_t> image = Noise(8192, 1);
  const std::string bin = Dir / "a.bin";
  WriteBytes(bin, image);
  const std::string hex = Dir / "a.hex";
  ASSERT_EQ(Cli({"convert", bin, hex}).Status, 0);

  const TRun r = Cli({Sim(), "write-flash", hex, "read-flash", Dir / "b.bin"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Masked(r.Out), kMega8Identify + "erasing...\nwriting...\nverifying...\n" + kSuccess +
                               kMega8Identify + "reading...\n" + kSuccess);
  EXPECT_EQ(ReadBytes(Dir / "b.bin"), image);
  EXPECT_EQ(SavedState().Avr.Flash(), image);
}

TEST_F(CliDevice, VerifyAgainstTheChip) {
  const std::vector<std::uint8_t> image = Noise(1000, 2);
  WriteBytes(Dir / "a.bin", image);
  std::vector<std::uint8_t> other = image;
  other[999] ^= 0x01;
  WriteBytes(Dir / "b.bin", other);

  ASSERT_EQ(Cli({Sim(), "--no-verify", "write-flash", Dir / "a.bin"}).Status, 0);
  const TRun same = Cli({Sim(), "verify", Dir / "a.bin"});
  EXPECT_EQ(same.Status, 0);
  EXPECT_EQ(Masked(same.Out), kMega8Identify + "verifying...\n" + kSuccess);

  // One bit off in the last byte; a second verify in the chain never runs.
  const TRun diff = Cli({Sim(), "verify", Dir / "b.bin", "verify", Dir / "a.bin"});
  EXPECT_EQ(diff.Status, 1);
  EXPECT_EQ(Masked(diff.Out), kMega8Identify + "verifying...\n" + kError);
  EXPECT_EQ(diff.Err, "");
}

TEST_F(CliDevice, NoVerifyLeavesOutTheVerifyStep) {
  WriteBytes(Dir / "a.bin", Noise(100, 3));
  const TRun r = Cli({Sim(), "--no-verify", "write-flash", Dir / "a.bin"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(Masked(r.Out), kMega8Identify + "erasing...\nwriting...\n" + kSuccess);
}

TEST_F(CliDevice, EraseThenReadGivesAnErasedFlash) {
  WriteBytes(Dir / "a.bin", Noise(300, 4));
  ASSERT_EQ(Cli({Sim(), "write-flash", Dir / "a.bin"}).Status, 0);
  const TRun r = Cli({Sim(), "erase", "read-flash", Dir / "e.bin"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(Masked(r.Out), kMega8Identify + "erasing...\n" + kSuccess + kMega8Identify +
                               "reading...\n" + kSuccess);
  EXPECT_EQ(ReadBytes(Dir / "e.bin"), std::vector<std::uint8_t>(8192, 0xFF));
}

TEST_F(CliDevice, EepromRoundTrip) {
  // ATmega8: 512 bytes of EEPROM; a write is never verified.
  const std::vector<std::uint8_t> image = Noise(512, 5);
  WriteBytes(Dir / "ee.bin", image);
  const TRun r = Cli({Sim(), "write-eeprom", Dir / "ee.bin", "read-eeprom", Dir / "back.hex"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Masked(r.Out), kMega8Identify + "writing EEPROM...\n" + kSuccess + kMega8Identify +
                               "reading EEPROM...\n" + kSuccess);
  ASSERT_EQ(Cli({"convert", Dir / "back.hex", Dir / "back.bin"}).Status, 0);
  EXPECT_EQ(ReadBytes(Dir / "back.bin"), image);
  EXPECT_EQ(SavedState().Avr.Eeprom(), image);
}

TEST_F(CliDevice, ReadFlashAsHexFollowsTheName) {
  // ATmega128: 128 KiB, so the HEX file needs extended address records.
  const TRun r = Cli({Sim("isp=ATmega128"), "--quiet", "read-flash", Dir / "f.HEX"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::string text = ReadText(Dir / "f.HEX");
  EXPECT_EQ(text.substr(0, 45), ":10000000" + std::string(32, 'F') + "00\r\n");
  EXPECT_NE(text.find("\r\n:020000040001F9\r\n:10000000FFFF"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 13), "\r\n:00000001FF");
}

TEST_F(CliDevice, ProgressBarOnlyOnATerminalAndNotWhenQuiet) {
  TCliEnvironment terminal;
  terminal.ErrIsTerminal = true;
  // Real timing: the read takes long enough for the bar to be drawn.
  const TRun shown = Cli({Sim("timing=real"), "read-flash", Dir / "a.bin"}, terminal);
  EXPECT_EQ(shown.Status, 0);
  EXPECT_EQ(shown.Err.rfind("\r[", 0), 0u) << shown.Err;
  EXPECT_NE(shown.Err.find(" bytes"), std::string::npos);
  EXPECT_TRUE(EndsWith(shown.Err, "\r\x1b[K")) << shown.Err;  // wiped before the log goes on
  EXPECT_EQ(Masked(shown.Out), kMega8Identify + "reading...\n" + kSuccess);

  const TRun quiet = Cli({Sim("timing=real"), "--quiet", "read-flash", Dir / "b.bin"}, terminal);
  EXPECT_EQ(quiet.Status, 0);
  EXPECT_EQ(quiet.Err, "");
  const TRun piped = Cli({Sim("timing=real"), "read-flash", Dir / "c.bin"});
  EXPECT_EQ(piped.Err, "");
}

TEST_F(CliDevice, LanguagesOfTheLog) {
  const TRun de = Cli({Sim(), "--lang", "de", "erase"});
  EXPECT_EQ(Masked(de.Out), "lese Signature Byte...\nID: 1E 93 07\nlese Fuse Bits...\n" +
                                kMega8Calibration +
                                "lösche...\n\nErfolgreich beendet.\nDauer: #.## s\n");
  const TRun ru = Cli({Sim(), "--lang=ru", "--target", "24AA256", "erase"});
  EXPECT_EQ(Masked(ru.Out),
            "стирание...\n\nДействие завершено успешно !\nВремя выполнения : #.## s\n");
}

struct TSocketCase {
  std::string SimSocket;  // what sits in the socket
  std::string Target;     // what the user selects
  std::size_t Size;
};

class CliSocket : public CliDevice, public ::testing::WithParamInterface<TSocketCase> {};

TEST_P(CliSocket, WriteVerifyReadTheWholeEeprom) {
  const TSocketCase& c = GetParam();
  const std::vector<std::uint8_t> image = Noise(c.Size, static_cast<std::uint32_t>(c.Size));
  WriteBytes(Dir / "in.bin", image);
  const std::string sim = Sim("socket=" + c.SimSocket);
  const TRun r = Cli({sim, "--target", c.Target, "write-flash", Dir / "in.bin", "verify",
                      Dir / "in.bin", "read-flash", Dir / "out.bin"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  // No identification and no erase step for the socket.
  EXPECT_EQ(Masked(r.Out), "writing...\nverifying...\n" + kSuccess + "verifying...\n" + kSuccess +
                               "reading...\n" + kSuccess);
  EXPECT_EQ(ReadBytes(Dir / "out.bin"), image);

  const TRun erased = Cli({sim, "--target", c.Target, "erase", "read-flash", Dir / "e.bin"});
  EXPECT_EQ(erased.Status, 0);
  EXPECT_EQ(ReadBytes(Dir / "e.bin"), std::vector<std::uint8_t>(c.Size, 0xFF));
}

void PrintTo(const TSocketCase& c, std::ostream* os) {
  *os << c.SimSocket << " as '" << c.Target << "'";
}

INSTANTIATE_TEST_SUITE_P(Table, CliSocket,
                         ::testing::Values(TSocketCase{"24AA00", "0", 16},
                                           TSocketCase{"24AA02", "24AA02 / 24(L)C02B", 256},
                                           TSocketCase{"24C04A", "24c04a", 512},
                                           TSocketCase{"24AA64", "10", 8192},
                                           TSocketCase{"24AA512", "24AA512", 65536}),
                         [](const auto& info) { return test::CaseName(info.param.SimSocket); });

TEST_F(CliDevice, SocketReadOfAWrongTypeStillEndsAtItsSize) {
  // The user picked 24AA02 (256 bytes) while a 24AA256 sits in the socket.
  const TRun r = Cli({Sim("socket=24AA256"), "--target", "3", "read-flash", Dir / "r.bin"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(ReadBytes(Dir / "r.bin").size(), 256u);
}

TEST_F(CliDevice, UnknownChipEndsWithError) {
  const TRun r = Cli({Sim("isp=sig:1E9801"), "detect"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(Masked(r.Out), "reading signature byte...\nID: 1E 98 01\n" + kError);
}

TEST_F(CliDevice, ListShowsTheSimulatedProgrammer) {
  const TRun r = Cli({Sim(), "list"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "1  0451:3210  /sim/port1  -  read-write\n");
}

TEST_F(CliDevice, BadSimulatorText) {
  const TRun r = Cli({"--simulate=isp=ATmega9", "detect"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err.rfind("quenvar-cli: --simulate: unknown ISP chip 'ATmega9'; valid: ", 0), 0u)
      << r.Err;
}

TEST_F(CliDevice, BrokenStateFile) {
  WriteText(State(), "not a state file");
  const TRun r = Cli({Sim(), "detect"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err.rfind("quenvar-cli: " + State() + ": ", 0), 0u) << r.Err;
  EXPECT_EQ(ReadText(State()), "not a state file");
}

}  // namespace
}  // namespace quenvar::cli_test
