// convert with the window's reader and writer, and a few runs of the real
// executable.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "case_name.h"
#include "cli_test_util.h"
#include "quenvar/fileio/atomic_file.h"
#include "quenvar/fileio/regular_file.h"
#include "quenvar/sim/sim_state_file.h"
#include "run_program.h"

namespace quenvar::cli_test {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::vector<std::uint8_t> Counting(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}

struct TConvertCase {
  std::string FInName;
  std::vector<std::uint8_t> FIn;
  std::string FOutName;
  std::vector<std::uint8_t> FOut;
};

class CliConvert : public ::testing::TestWithParam<TConvertCase> {};

TEST_P(CliConvert, ExactOutput) {
  TTempDir dir;
  const TConvertCase& c = GetParam();
  WriteBytes(dir / c.FInName, c.FIn);
  const TRun r = Cli({"convert", dir / c.FInName, dir / c.FOutName});
  EXPECT_EQ(r.FStatus, 0) << r.FErr;
  EXPECT_EQ(r.FOut, "");
  EXPECT_EQ(r.FErr, "");
  EXPECT_EQ(ReadBytes(dir / c.FOutName), c.FOut);
}

std::vector<std::uint8_t> FfThen(std::size_t ff, std::vector<std::uint8_t> tail) {
  std::vector<std::uint8_t> bytes(ff, 0xFF);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

void PrintTo(const TConvertCase& c, std::ostream* os) {
  *os << c.FInName << " to " << c.FOutName;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliConvert,
    ::testing::Values(
        // 20 bytes 00..13: a full record, a padded one, the end record without CR LF
        TConvertCase{"a.bin", Counting(20), "a.hex",
                     Bytes(":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                           ":1000100010111213FFFFFFFFFFFFFFFFFFFFFFFFA6\r\n"
                           ":00000001FF")},
        TConvertCase{"A.BIN",
                     {0x5A},
                     "a.txt",
                     Bytes(":100000005A" + std::string(30, 'F') + "A5\r\n:00000001FF")},
        // a record at 0010 only: the bytes before it are FF
        TConvertCase{"b.hex", Bytes(":0400100001020304E2\r\n:00000001FF\r\n"), "b.bin",
                     FfThen(16, {1, 2, 3, 4})},
        // LF line ends and lower-case digits are read alike
        TConvertCase{"c.Hex", Bytes(":0400100001020304e2\n:00000001ff\n"), "c.bin",
                     FfThen(16, {1, 2, 3, 4})},
        // above 64 KiB through an extended linear address record
        TConvertCase{"d.hex", Bytes(":020000040001F9\r\n:02000000AABB99\r\n:00000001FF"), "d.bin",
                     FfThen(65536, {0xAA, 0xBB})},
        TConvertCase{"e.bin", {1, 2, 3}, "e.BIN", {1, 2, 3}}),
    [](const auto& info) {
      return test::CaseName(info.param.FInName + " to " + info.param.FOutName);
    });

TEST(CliConvertLarge, BinaryToHexAndBackAboveSixtyFourKiB) {
  TTempDir dir;
  const std::vector<std::uint8_t> image = Noise(200000, 11);  // 0x30D40 bytes
  WriteBytes(dir / "in.bin", image);
  ASSERT_EQ(
      Cli({"convert", dir / "in.bin", dir / "mid.hex", "convert", dir / "mid.hex", dir / "out.bin"})
          .FStatus,
      0);
  EXPECT_EQ(ReadBytes(dir / "out.bin"), image);
  const std::string hex = ReadText(dir / "mid.hex");
  // 12500 data records, three extended address records, the end record.
  std::size_t lines = 0;
  for (char ch : hex) lines += ch == '\n';
  EXPECT_EQ(lines, 12500u + 3u);
  EXPECT_NE(hex.find("\r\n:020000040001F9\r\n"), std::string::npos);
  EXPECT_NE(hex.find("\r\n:020000040002F8\r\n"), std::string::npos);
  EXPECT_NE(hex.find("\r\n:020000040003F7\r\n"), std::string::npos);
  EXPECT_EQ(hex.find(":020000040004"), std::string::npos);
}

// The real executable, found through its build path.
test::TProgramRun RunBinary(const std::vector<std::string>& args) {
  return test::RunProgram(QUENVAR_CLI_BINARY, args);
}

TEST(CliBinary, VersionAndUsage) {
  const test::TProgramRun v = RunBinary({"--version"});
  EXPECT_EQ(v.FStatus, 0);
  EXPECT_EQ(v.FOut, std::string("quenvar-cli ") + QUENVAR_VERSION + "\n");
  EXPECT_EQ(RunBinary({}).FStatus, 2);
  EXPECT_EQ(RunBinary({"--target", "24AA256", "detect"}).FStatus, 2);
}

TEST(CliBinary, SimulatedChainAcrossTwoRuns) {
  TTempDir dir;
  const std::vector<std::uint8_t> image = Noise(4096, 12);
  WriteBytes(dir / "a.bin", image);
  const std::string sim = "--simulate=isp=ATmega8,state=" + (dir / "s.qvs");
  const test::TProgramRun w = RunBinary({sim, "--quiet", "write-flash", dir / "a.bin"});
  EXPECT_EQ(w.FStatus, 0);
  EXPECT_TRUE(EndsWith(Masked(w.FOut),
                       "erasing...\nwriting...\nverifying...\n\nSuccessfully finished.\n"
                       "Duration: #.## s\n"))
      << w.FOut;
  const test::TProgramRun r = RunBinary({sim, "--quiet", "read-flash", dir / "b.bin"});
  EXPECT_EQ(r.FStatus, 0);
  std::vector<std::uint8_t> expected = image;
  expected.resize(8192, 0xFF);  // the rest of the ATmega8's flash is erased
  EXPECT_EQ(ReadBytes(dir / "b.bin"), expected);
}

// Names beyond ASCII go from the command line to the files and into the log
// unchanged (on Windows: UTF-16 arguments, UTF-8 inside, UTF-16 file names).
TEST(CliBinary, NonAsciiNamesReachTheFiles) {
  TTempDir dir;
  const std::string hex = dir / "Прошивка ü.hex";
  const std::string bin = dir / "固件 \xF0\x9D\x84\x9E.bin";
  const std::string state = dir / "Zustand ß.qvs";
  ASSERT_TRUE(WriteFileAtomically(hex, Bytes(":0400100001020304E2\r\n:00000001FF\r\n")));
  const test::TProgramRun c = RunBinary({"--quiet", "convert", hex, bin});
  EXPECT_EQ(c.FStatus, 0);
  // The record puts 01 02 03 04 at 0x10; the gap before it is blank.
  std::vector<std::uint8_t> image(20, 0xFF);
  for (std::uint8_t i = 0; i < 4; ++i) image[16 + i] = i + 1;
  EXPECT_EQ(ReadRegularFile(bin).Value(), image);

  const test::TProgramRun w =
      RunBinary({"--simulate=state=" + state, "--quiet", "write-flash", bin});
  EXPECT_EQ(w.FStatus, 0);
  EXPECT_TRUE(LoadSimStateFile(state));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"Zustand ß.qvs", "Прошивка ü.hex",
                                                     "固件 \xF0\x9D\x84\x9E.bin"}));
}

}  // namespace
}  // namespace quenvar::cli_test
