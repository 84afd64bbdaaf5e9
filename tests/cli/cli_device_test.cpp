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
  std::string State() const { return FDir / "chip.qvs"; }
  TSimState SavedState() const {
    auto loaded = LoadSimStateFile(State());
    EXPECT_TRUE(loaded) << (loaded ? "" : loaded.Error().FText);
    return std::move(loaded.Value());
  }

  TTempDir FDir;
};

TEST_F(CliDevice, DetectPrintsTheLogAndTheChip) {
  const TRun r = Cli({Sim(), "detect"});
  EXPECT_EQ(r.FStatus, 0);
  EXPECT_EQ(Masked(r.FOut), kMega8Identify + kSuccess + "Chip: ATmega8, 8192 bytes of flash\n");
  EXPECT_EQ(r.FErr, "");
  EXPECT_TRUE(std::filesystem::exists(State()));
}

TEST_F(CliDevice, ReadFusesListsEveryBoxAndTheCalibration) {
  const TRun r = Cli({Sim(), "read-fuses"});
  EXPECT_EQ(r.FStatus, 0);
  // The calibration bytes once, from the log.
  EXPECT_EQ(Masked(r.FOut), kMega8Identify + kSuccess + "Chip: ATmega8, 8192 bytes of flash\n" +
                                kMega8FactoryFuses);
}

TEST_F(CliDevice, WriteFusesChangesOnlyTheNamedBoxesAndPersists) {
  const TRun w = Cli({Sim(), "write-fuses", "--program", "cksel0,BOOTRST", "--unprogram", "SUT0"});
  ASSERT_EQ(w.FStatus, 0) << w.FErr;
  // The fuses are read back after the write.
  EXPECT_EQ(Masked(w.FOut), kMega8Identify + kSuccess + "programming fuse/lock bis...\n" +
                                kSuccess + kMega8Identify + kSuccess);
  // Low E1 with CKSEL0 programmed and SUT0 unprogrammed is F0; high D9 with
  // BOOTRST programmed is D8.
  const TSimState state = SavedState();
  EXPECT_EQ(state.FAvr.LowFuse(), 0xF0);
  EXPECT_EQ(state.FAvr.HighFuse(), 0xD8);
  EXPECT_EQ(state.FAvr.LockByte() & 0x3F, 0x3F);

  // A second run reads them back from the same chip.
  const TRun r = Cli({Sim(), "--quiet", "read-fuses"});
  EXPECT_NE(r.FOut.find("[x] BOOTRST\n[ ] BODLEVEL\n[ ] BODEN\n[ ] SUT1\n[ ] SUT0\n[x] CKSEL3\n"
                        "[x] CKSEL2\n[x] CKSEL1\n[x] CKSEL0\n"),
            std::string::npos)
      << r.FOut;
}

struct TFuseRefusal {
  std::string FName;
  std::vector<std::string> FArgs;
  bool FIdentified;  // whether the names could be checked only against the chip
  std::string FErr;
};

class CliFuseRefusals : public CliDevice, public ::testing::WithParamInterface<TFuseRefusal> {};

TEST_P(CliFuseRefusals, NothingIsWritten) {
  std::vector<std::string> args = {Sim(), "write-fuses"};
  args.insert(args.end(), GetParam().FArgs.begin(), GetParam().FArgs.end());
  const TRun r = Cli(args);
  EXPECT_EQ(r.FStatus, 2);
  EXPECT_EQ(r.FErr, GetParam().FErr);
  if (!GetParam().FIdentified) {
    // A name no chip has is refused before the programmer is touched.
    EXPECT_EQ(r.FOut, "");
    EXPECT_FALSE(std::filesystem::exists(State()));
    return;
  }
  // The identification ran without its success line; no fuse write followed it.
  EXPECT_EQ(Masked(r.FOut), kMega8Identify);
  const TSimState state = SavedState();
  EXPECT_EQ(state.FAvr.LowFuse(), 0xE1);
  EXPECT_EQ(state.FAvr.HighFuse(), 0xD9);
}

void PrintTo(const TFuseRefusal& c, std::ostream* os) {
  *os << c.FName;
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
    [](const auto& info) { return info.param.FName; });

TEST_F(CliDevice, WriteThenReadInOneChainGivesTheImage) {
  const std::vector<std::uint8_t> image = Noise(8192, 1);
  const std::string bin = FDir / "a.bin";
  WriteBytes(bin, image);
  const std::string hex = FDir / "a.hex";
  ASSERT_EQ(Cli({"convert", bin, hex}).FStatus, 0);

  const TRun r = Cli({Sim(), "write-flash", hex, "read-flash", FDir / "b.bin"});
  EXPECT_EQ(r.FStatus, 0) << r.FErr;
  EXPECT_EQ(Masked(r.FOut), kMega8Identify + "erasing...\nwriting...\nverifying...\n" + kSuccess +
                                kMega8Identify + "reading...\n" + kSuccess);
  EXPECT_EQ(ReadBytes(FDir / "b.bin"), image);
  EXPECT_EQ(SavedState().FAvr.Flash(), image);
}

TEST_F(CliDevice, VerifyAgainstTheChip) {
  const std::vector<std::uint8_t> image = Noise(1000, 2);
  WriteBytes(FDir / "a.bin", image);
  std::vector<std::uint8_t> other = image;
  other[999] ^= 0x01;
  WriteBytes(FDir / "b.bin", other);

  ASSERT_EQ(Cli({Sim(), "--no-verify", "write-flash", FDir / "a.bin"}).FStatus, 0);
  const TRun same = Cli({Sim(), "verify", FDir / "a.bin"});
  EXPECT_EQ(same.FStatus, 0);
  EXPECT_EQ(Masked(same.FOut), kMega8Identify + "verifying...\n" + kSuccess);

  // One bit off in the last byte; a second verify in the chain never runs.
  const TRun diff = Cli({Sim(), "verify", FDir / "b.bin", "verify", FDir / "a.bin"});
  EXPECT_EQ(diff.FStatus, 1);
  EXPECT_EQ(Masked(diff.FOut), kMega8Identify + "verifying...\n" + kError);
  EXPECT_EQ(diff.FErr, "");
}

TEST_F(CliDevice, NoVerifyLeavesOutTheVerifyStep) {
  WriteBytes(FDir / "a.bin", Noise(100, 3));
  const TRun r = Cli({Sim(), "--no-verify", "write-flash", FDir / "a.bin"});
  EXPECT_EQ(r.FStatus, 0);
  EXPECT_EQ(Masked(r.FOut), kMega8Identify + "erasing...\nwriting...\n" + kSuccess);
}

TEST_F(CliDevice, EraseThenReadGivesAnErasedFlash) {
  WriteBytes(FDir / "a.bin", Noise(300, 4));
  ASSERT_EQ(Cli({Sim(), "write-flash", FDir / "a.bin"}).FStatus, 0);
  const TRun r = Cli({Sim(), "erase", "read-flash", FDir / "e.bin"});
  EXPECT_EQ(r.FStatus, 0);
  EXPECT_EQ(Masked(r.FOut), kMega8Identify + "erasing...\n" + kSuccess + kMega8Identify +
                                "reading...\n" + kSuccess);
  EXPECT_EQ(ReadBytes(FDir / "e.bin"), std::vector<std::uint8_t>(8192, 0xFF));
}

TEST_F(CliDevice, EepromRoundTrip) {
  // ATmega8: 512 bytes of EEPROM; a write is never verified.
  const std::vector<std::uint8_t> image = Noise(512, 5);
  WriteBytes(FDir / "ee.bin", image);
  const TRun r = Cli({Sim(), "write-eeprom", FDir / "ee.bin", "read-eeprom", FDir / "back.hex"});
  EXPECT_EQ(r.FStatus, 0) << r.FErr;
  EXPECT_EQ(Masked(r.FOut), kMega8Identify + "writing EEPROM...\n" + kSuccess + kMega8Identify +
                                "reading EEPROM...\n" + kSuccess);
  ASSERT_EQ(Cli({"convert", FDir / "back.hex", FDir / "back.bin"}).FStatus, 0);
  EXPECT_EQ(ReadBytes(FDir / "back.bin"), image);
  EXPECT_EQ(SavedState().FAvr.Eeprom(), image);
}

TEST_F(CliDevice, ReadFlashAsHexFollowsTheName) {
  // ATmega128: 128 KiB, so the HEX file needs extended address records.
  const TRun r = Cli({Sim("isp=ATmega128"), "--quiet", "read-flash", FDir / "f.HEX"});
  ASSERT_EQ(r.FStatus, 0) << r.FErr;
  const std::string text = ReadText(FDir / "f.HEX");
  EXPECT_EQ(text.substr(0, 45), ":10000000" + std::string(32, 'F') + "00\r\n");
  EXPECT_NE(text.find("\r\n:020000040001F9\r\n:10000000FFFF"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 13), "\r\n:00000001FF");
}

TEST_F(CliDevice, ProgressBarOnlyOnATerminalAndNotWhenQuiet) {
  TCliEnvironment terminal;
  terminal.FErrIsTerminal = true;
  // Real timing: the read takes long enough for the bar to be drawn.
  const TRun shown = Cli({Sim("timing=real"), "read-flash", FDir / "a.bin"}, terminal);
  EXPECT_EQ(shown.FStatus, 0);
  EXPECT_EQ(shown.FErr.rfind("\r[", 0), 0u) << shown.FErr;
  EXPECT_NE(shown.FErr.find(" bytes"), std::string::npos);
  EXPECT_TRUE(EndsWith(shown.FErr, "\r\x1b[K")) << shown.FErr;  // wiped before the log goes on
  EXPECT_EQ(Masked(shown.FOut), kMega8Identify + "reading...\n" + kSuccess);

  const TRun quiet = Cli({Sim("timing=real"), "--quiet", "read-flash", FDir / "b.bin"}, terminal);
  EXPECT_EQ(quiet.FStatus, 0);
  EXPECT_EQ(quiet.FErr, "");
  const TRun piped = Cli({Sim("timing=real"), "read-flash", FDir / "c.bin"});
  EXPECT_EQ(piped.FErr, "");
}

TEST_F(CliDevice, LanguagesOfTheLog) {
  const TRun de = Cli({Sim(), "--lang", "de", "erase"});
  EXPECT_EQ(Masked(de.FOut), "lese Signature Byte...\nID: 1E 93 07\nlese Fuse Bits...\n" +
                                 kMega8Calibration +
                                 "lösche...\n\nErfolgreich beendet.\nDauer: #.## s\n");
  const TRun ru = Cli({Sim(), "--lang=ru", "--target", "24AA256", "erase"});
  EXPECT_EQ(Masked(ru.FOut),
            "стирание...\n\nДействие завершено успешно !\nВремя выполнения : #.## s\n");
}

struct TSocketCase {
  std::string FSimSocket;  // what sits in the socket
  std::string FTarget;     // what the user selects
  std::size_t FSize;
};

class CliSocket : public CliDevice, public ::testing::WithParamInterface<TSocketCase> {};

TEST_P(CliSocket, WriteVerifyReadTheWholeEeprom) {
  const TSocketCase& c = GetParam();
  const std::vector<std::uint8_t> image = Noise(c.FSize, static_cast<std::uint32_t>(c.FSize));
  WriteBytes(FDir / "in.bin", image);
  const std::string sim = Sim("socket=" + c.FSimSocket);
  const TRun r = Cli({sim, "--target", c.FTarget, "write-flash", FDir / "in.bin", "verify",
                      FDir / "in.bin", "read-flash", FDir / "out.bin"});
  EXPECT_EQ(r.FStatus, 0) << r.FErr;
  // No identification and no erase step for the socket.
  EXPECT_EQ(Masked(r.FOut), "writing...\nverifying...\n" + kSuccess + "verifying...\n" + kSuccess +
                                "reading...\n" + kSuccess);
  EXPECT_EQ(ReadBytes(FDir / "out.bin"), image);

  const TRun erased = Cli({sim, "--target", c.FTarget, "erase", "read-flash", FDir / "e.bin"});
  EXPECT_EQ(erased.FStatus, 0);
  EXPECT_EQ(ReadBytes(FDir / "e.bin"), std::vector<std::uint8_t>(c.FSize, 0xFF));
}

void PrintTo(const TSocketCase& c, std::ostream* os) {
  *os << c.FSimSocket << " as '" << c.FTarget << "'";
}

INSTANTIATE_TEST_SUITE_P(Table, CliSocket,
                         ::testing::Values(TSocketCase{"24AA00", "0", 16},
                                           TSocketCase{"24AA02", "24AA02 / 24(L)C02B", 256},
                                           TSocketCase{"24C04A", "24c04a", 512},
                                           TSocketCase{"24AA64", "10", 8192},
                                           TSocketCase{"24AA512", "24AA512", 65536}),
                         [](const auto& info) { return test::CaseName(info.param.FSimSocket); });

TEST_F(CliDevice, SocketReadOfAWrongTypeStillEndsAtItsSize) {
  // The user picked 24AA02 (256 bytes) while a 24AA256 sits in the socket.
  const TRun r = Cli({Sim("socket=24AA256"), "--target", "3", "read-flash", FDir / "r.bin"});
  EXPECT_EQ(r.FStatus, 0);
  EXPECT_EQ(ReadBytes(FDir / "r.bin").size(), 256u);
}

TEST_F(CliDevice, UnknownChipEndsWithError) {
  const TRun r = Cli({Sim("isp=sig:1E9801"), "detect"});
  EXPECT_EQ(r.FStatus, 1);
  EXPECT_EQ(Masked(r.FOut), "reading signature byte...\nID: 1E 98 01\n" + kError);
}

TEST_F(CliDevice, ListShowsTheSimulatedProgrammer) {
  const TRun r = Cli({Sim(), "list"});
  EXPECT_EQ(r.FStatus, 0);
  EXPECT_EQ(r.FOut, "1  0451:3210  /sim/port1  -  read-write\n");
}

TEST_F(CliDevice, BadSimulatorText) {
  const TRun r = Cli({"--simulate=isp=ATmega9", "detect"});
  EXPECT_EQ(r.FStatus, 2);
  EXPECT_EQ(r.FErr.rfind("quenvar-cli: --simulate: unknown ISP chip 'ATmega9'; valid: ", 0), 0u)
      << r.FErr;
}

TEST_F(CliDevice, BrokenStateFile) {
  WriteText(State(), "not a state file");
  const TRun r = Cli({Sim(), "detect"});
  EXPECT_EQ(r.FStatus, 2);
  EXPECT_EQ(r.FErr.rfind("quenvar-cli: " + State() + ": ", 0), 0u) << r.FErr;
  EXPECT_EQ(ReadText(State()), "not a state file");
}

}  // namespace
}  // namespace quenvar::cli_test
