// Fuse and lock records: what the application writes with command 7 comes back
// on the next read with command 8, for every chip of the table, except the bits
// the application skips or greys (SPIEN keeps its programmed state, unused
// bits read 1).

#include <gtest/gtest.h>

#include "case_name.h"
#include "sim_test_support.h"

namespace quenvar::simtest {
namespace {

// The read records the application sends for a chip: lock, low, high, then the
// extended byte and calibration bytes where the chip has them.
std::vector<TBytes> InstructionReads(bool extended, int calibration) {
  std::vector<TBytes> r{{0x58, 0x00, 0x00}, {0x50, 0x00, 0x00}, {0x58, 0x08, 0x00}};
  if (extended) r.push_back({0x50, 0x08, 0x00});
  for (int i = 0; i < calibration; ++i) r.push_back({0x38, 0x00, static_cast<std::uint8_t>(i)});
  return r;
}

const std::vector<TBytes> kCombinedReads{{0x58, 0x00, 0x00}};
const std::vector<TBytes> kTwoByteReads{{0x58, 0x00, 0x00}, {0x50, 0x00, 0x00}};
const std::vector<TBytes> kTinyTwoByteReads{
    {0x58, 0x00, 0x00}, {0x50, 0x00, 0x00}, {0x38, 0x00, 0x00}};

struct TFuseCase {
  const char* FChip;
  const char* FPattern;
  std::vector<TBytes> FWrites;
  std::vector<TBytes> FReads;
  TBytes FExpected;  // the 'r' reply bytes
};
void PrintTo(const TFuseCase& c, std::ostream* os) {
  *os << c.FChip << " " << c.FPattern;
}

class SimFuseRoundTripTest : public ::testing::TestWithParam<TFuseCase> {};

TEST_P(SimFuseRoundTripTest, WrittenRecordsReadBack) {
  TSimProgrammer sim(NoTiming(GetParam().FChip));
  TRecordingHost host;
  sim.OnOutputReport(Records(7, GetParam().FWrites), host);
  sim.OnOutputReport(Records(8, GetParam().FReads), host);
  ASSERT_EQ(host.FReports.size(), 2u);
  EXPECT_EQ(host.FReports[0], In({'f'}));
  TBytes reply{'r'};
  reply.insert(reply.end(), GetParam().FExpected.begin(), GetParam().FExpected.end());
  EXPECT_EQ(host.FReports[1], In(reply));
}

// Six lock bits, all boxes checked: lock C0, high 20 (SPIEN sent as 1), low 00.
const std::vector<TBytes> kSixLockAll{{0xE0, 0x00, 0xC0}, {0xA8, 0x00, 0x20}, {0xA0, 0x00, 0x00}};
std::vector<TBytes> SixLockAllExt(std::uint8_t ext) {
  auto w = kSixLockAll;
  w.push_back({0xA4, 0x00, ext});
  return w;
}
const std::vector<TBytes> kTwoLockAllExt{
    {0xE0, 0x00, 0xFC}, {0xA8, 0x00, 0x20}, {0xA0, 0x00, 0x00}, {0xA4, 0x00, 0xFE}};
const std::vector<TBytes> kNoneChecked{{0xE0, 0x00, 0xFF}, {0xA8, 0x00, 0xFF}, {0xA0, 0x00, 0xFF}};
std::vector<TBytes> NoneCheckedExt() {
  auto w = kNoneChecked;
  w.push_back({0xA4, 0x00, 0xFF});
  return w;
}

INSTANTIATE_TEST_SUITE_P(
    AllChips, SimFuseRoundTripTest,
    ::testing::Values(
        // Instruction family, every box checked.
        TFuseCase{"ATtiny13",
                  "all",
                  {{0xE0, 0x00, 0xFC}, {0xA8, 0x00, 0xE0}, {0xA0, 0x00, 0x80}},
                  InstructionReads(false, 1),
                  {0xFC, 0x00, 0xE0, 0x9F}},
        TFuseCase{"ATtiny26",
                  "all",
                  {{0xE0, 0x00, 0xFC}, {0xA8, 0x00, 0xE8}, {0xA0, 0x00, 0x00}},
                  InstructionReads(false, 4),
                  {0xFC, 0x00, 0xE0, 0xA3, 0xA6, 0xA9, 0xAD}},
        TFuseCase{"ATtiny2313",
                  "all",
                  kTwoLockAllExt,
                  InstructionReads(true, 2),
                  {0xFC, 0x00, 0x00, 0xFE, 0x5E, 0x61}},
        TFuseCase{"ATmega48",
                  "all",
                  kTwoLockAllExt,
                  InstructionReads(true, 1),
                  {0xFC, 0x00, 0x00, 0xFE, 0x8E}},
        TFuseCase{"ATmega8",
                  "all",
                  kSixLockAll,
                  InstructionReads(false, 4),
                  {0xC0, 0x00, 0x00, 0xA7, 0xA9, 0xAC, 0xAE}},
        TFuseCase{
            "ATmega8515", "all", kSixLockAll, InstructionReads(false, 1), {0xC0, 0x00, 0x00, 0xA1}},
        TFuseCase{"ATmega8535",
                  "all",
                  kSixLockAll,
                  InstructionReads(false, 4),
                  {0xC0, 0x00, 0x00, 0xA2, 0xA5, 0xA7, 0xAA}},
        TFuseCase{
            "ATmega16", "all", kSixLockAll, InstructionReads(false, 1), {0xC0, 0x00, 0x00, 0xAF}},
        TFuseCase{"ATmega32",
                  "all",
                  kSixLockAll,
                  InstructionReads(false, 4),
                  {0xC0, 0x00, 0x00, 0xB0, 0xB3, 0xB5, 0xB8}},
        TFuseCase{"ATmega64",
                  "all",
                  SixLockAllExt(0xFC),
                  InstructionReads(true, 4),
                  {0xC0, 0x00, 0x00, 0xFC, 0xA8, 0xAA, 0xAD, 0xB0}},
        TFuseCase{"ATmega128",
                  "all",
                  SixLockAllExt(0xFC),
                  InstructionReads(true, 4),
                  {0xC0, 0x00, 0x00, 0xFC, 0xAB, 0xAE, 0xB1, 0xB3}},
        TFuseCase{"ATmega88",
                  "all",
                  SixLockAllExt(0xF8),
                  InstructionReads(true, 1),
                  {0xC0, 0x00, 0x00, 0xF8, 0x93}},
        TFuseCase{"ATmega168",
                  "all",
                  SixLockAllExt(0xF8),
                  InstructionReads(true, 1),
                  {0xC0, 0x00, 0x00, 0xF8, 0x97}},
        TFuseCase{"ATmega162",
                  "all",
                  SixLockAllExt(0xE1),
                  InstructionReads(true, 1),
                  {0xC0, 0x00, 0x00, 0xE1, 0x6D}},
        TFuseCase{"ATmega165",
                  "all",
                  SixLockAllExt(0xF1),
                  InstructionReads(true, 1),
                  {0xC0, 0x00, 0x00, 0xF1, 0x59}},
        TFuseCase{"ATmega169",
                  "all",
                  SixLockAllExt(0xF1),
                  InstructionReads(true, 1),
                  {0xC0, 0x00, 0x00, 0xF1, 0x5B}},
        // The greyed "NONE" (extended bit 3) is written back as read: 1.
        TFuseCase{"AT90pwm2",
                  "all",
                  SixLockAllExt(0x08),
                  InstructionReads(true, 1),
                  {0xC0, 0x00, 0x00, 0x08, 0x7C}},
        TFuseCase{"AT90pwm3",
                  "all",
                  SixLockAllExt(0x08),
                  InstructionReads(true, 1),
                  {0xC0, 0x00, 0x00, 0x08, 0x7E}},
        // Nothing checked: the greyed SPIEN still reads programmed.
        TFuseCase{
            "ATmega8", "none", kNoneChecked, InstructionReads(false, 1), {0xFF, 0xFF, 0xDF, 0xA7}},
        TFuseCase{
            "ATtiny13", "none", kNoneChecked, InstructionReads(false, 1), {0xFF, 0x7F, 0xFF, 0x9F}},
        TFuseCase{
            "ATtiny26", "none", kNoneChecked, InstructionReads(false, 1), {0xFF, 0xFF, 0xF7, 0xA3}},
        TFuseCase{"AT90pwm2",
                  "none",
                  NoneCheckedExt(),
                  InstructionReads(true, 1),
                  {0xFF, 0xFF, 0xDF, 0xFF, 0x7C}},
        TFuseCase{"ATmega162",
                  "none",
                  NoneCheckedExt(),
                  InstructionReads(true, 1),
                  {0xFF, 0xFF, 0xDF, 0xFF, 0x6D}},
        // "Lock bit 1" and "BOOTRST" checked.
        TFuseCase{"ATmega8",
                  "lb1_bootrst",
                  {{0xE0, 0x00, 0xFE}, {0xA8, 0x00, 0xFE}, {0xA0, 0x00, 0xFF}},
                  InstructionReads(false, 1),
                  {0xFE, 0xFF, 0xDE, 0xA7}},
        // Single bits, to pin every position.
        TFuseCase{"ATmega64",
                  "m103c",
                  {{0xE0, 0x00, 0xFF}, {0xA8, 0x00, 0xFF}, {0xA0, 0x00, 0xFF}, {0xA4, 0x00, 0xFD}},
                  InstructionReads(true, 0),
                  {0xFF, 0xFF, 0xDF, 0xFD}},
        TFuseCase{"ATmega162",
                  "bodlevel0",
                  {{0xE0, 0x00, 0xFF}, {0xA8, 0x00, 0xFF}, {0xA0, 0x00, 0xFF}, {0xA4, 0x00, 0xFD}},
                  InstructionReads(true, 0),
                  {0xFF, 0xFF, 0xDF, 0xFD}},
        TFuseCase{"ATtiny2313",
                  "selfprgen_lb2",
                  {{0xE0, 0x00, 0xFD}, {0xA8, 0x00, 0xFF}, {0xA0, 0x00, 0xFF}, {0xA4, 0x00, 0xFE}},
                  InstructionReads(true, 0),
                  {0xFD, 0xFF, 0xDF, 0xFE}},
        // Combined-byte family: lock bits come back in bits 7 and 6, the fuse
        // in bit 0, SPIEN (bit 5) stays programmed.
        TFuseCase{"AT90S/LS2323",
                  "all",
                  {{0xF9, 0x00, 0x00}, {0xBE, 0x00, 0x00}},
                  kCombinedReads,
                  {0x1E}},
        TFuseCase{"AT90S/LS2343",
                  "lb1",
                  {{0xFD, 0x00, 0x00}, {0xBF, 0x00, 0x00}},
                  kCombinedReads,
                  {0x5F}},
        TFuseCase{
            "ATtiny22", "lb2", {{0xFB, 0x00, 0x00}, {0xBF, 0x00, 0x00}}, kCombinedReads, {0x9F}},
        TFuseCase{"AT90S/LS8535",
                  "fstrt",
                  {{0xFF, 0x00, 0x00}, {0xBE, 0x00, 0x00}},
                  kCombinedReads,
                  {0xDE}},
        // 2333/4433: fuse bits written in the opcode byte.
        TFuseCase{"AT90S/LS2333",
                  "all",
                  {{0xF9, 0x00, 0x00}, {0xA0, 0x00, 0x00}},
                  kTwoByteReads,
                  {0xF9, 0xC0}},
        TFuseCase{"AT90S/LS4433",
                  "cksel0",
                  {{0xFF, 0x00, 0x00}, {0xBE, 0x00, 0x00}},
                  kTwoByteReads,
                  {0xFF, 0xDE}},
        TFuseCase{"AT90S/LS4433",
                  "bodlevel_lb2",
                  {{0xFB, 0x00, 0x00}, {0xAF, 0x00, 0x00}},
                  kTwoByteReads,
                  {0xFB, 0xCF}},
        // ATtiny12/15L: fuse byte written as data.
        TFuseCase{"ATtiny12",
                  "all",
                  {{0xF9, 0x00, 0x00}, {0xA0, 0x00, 0x00}},
                  kTinyTwoByteReads,
                  {0xF9, 0x00, 0x4C}},
        TFuseCase{"ATtiny12",
                  "bodlevel",
                  {{0xFF, 0x00, 0x00}, {0xA0, 0x00, 0x7F}},
                  kTinyTwoByteReads,
                  {0xFF, 0x7F, 0x4C}},
        TFuseCase{"ATtiny15L",
                  "all",
                  {{0xF9, 0x00, 0x00}, {0xA0, 0x00, 0x0C}},
                  kTinyTwoByteReads,
                  {0xF9, 0x0C, 0x6B}},
        TFuseCase{"ATtiny15L",
                  "cksel0_lb1",
                  {{0xFD, 0x00, 0x00}, {0xA0, 0x00, 0xFE}},
                  kTinyTwoByteReads,
                  {0xFD, 0xFE, 0x6B}}),
    [](const auto& info) {
      std::string name = std::string(info.param.FChip) + "_" + info.param.FPattern;
      for (char& c : name) {
        if (c == '/') c = '_';
      }
      return name;
    });

struct TFactoryCase {
  const char* FChip;
  std::vector<TBytes> FReads;
  TBytes FExpected;
};
void PrintTo(const TFactoryCase& c, std::ostream* os) {
  *os << c.FChip;
}

class SimFactoryFuseTest : public ::testing::TestWithParam<TFactoryCase> {};

TEST_P(SimFactoryFuseTest, FreshChipReadsDatasheetDefaults) {
  TSimProgrammer sim(NoTiming(GetParam().FChip));
  TRecordingHost host;
  sim.OnOutputReport(Records(8, GetParam().FReads), host);
  TBytes reply{'r'};
  reply.insert(reply.end(), GetParam().FExpected.begin(), GetParam().FExpected.end());
  ASSERT_EQ(host.FReports.size(), 1u);
  EXPECT_EQ(host.FReports[0], In(reply));
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, SimFactoryFuseTest,
    ::testing::Values(
        TFactoryCase{"ATtiny13", InstructionReads(false, 1), {0xFF, 0x6A, 0xFF, 0x9F}},
        TFactoryCase{"ATmega8", InstructionReads(false, 1), {0xFF, 0xE1, 0xD9, 0xA7}},
        TFactoryCase{"ATmega16", InstructionReads(false, 0), {0xFF, 0xE1, 0x99}},
        TFactoryCase{"ATmega128", InstructionReads(true, 0), {0xFF, 0xE1, 0x99, 0xFD}},
        TFactoryCase{"ATmega88", InstructionReads(true, 0), {0xFF, 0x62, 0xDF, 0xF9}},
        TFactoryCase{"ATtiny2313", InstructionReads(true, 0), {0xFF, 0x64, 0xDF, 0xFF}},
        TFactoryCase{"AT90S/LS2323", kCombinedReads, {0xDF}},
        TFactoryCase{"AT90S/LS4433", kTwoByteReads, {0xFF, 0xDA}},
        TFactoryCase{"ATtiny15L", kTinyTwoByteReads, {0xFF, 0xDC, 0x6B}},
        // No read instruction on the lock-only parts.
        TFactoryCase{"AT90S1200", kTwoByteReads, {0xFF, 0xFF}}),
    [](const auto& info) {
      std::string name = info.param.FChip;
      for (char& c : name) {
        if (c == '/') c = '_';
      }
      return name;
    });

// Lock bits are only ever programmed by a write; the chip erase clears them.
class SimLockOnlyTest : public ::testing::TestWithParam<const char*> {};

TEST_P(SimLockOnlyTest, LockWritesAreStickyUntilErase) {
  TSimProgrammer sim(NoTiming(GetParam()));
  TRecordingHost host;
  std::vector<std::uint8_t> locks;
  for (std::uint8_t record : {0xFD, 0xFB, 0xFF}) {
    sim.OnOutputReport(Records(7, {{record, 0x00, 0x00}}), host);
    locks.push_back(sim.Avr().LockByte());
  }
  sim.OnOutputReport(Out(kIsp, 2), host);
  locks.push_back(sim.Avr().LockByte());
  EXPECT_EQ(locks, (std::vector<std::uint8_t>{0xFE, 0xFC, 0xFC, 0xFF}));
  EXPECT_EQ(host.FReports, (std::vector<TBytes>{In({'f'}), In({'f'}), In({'f'}), In({'e'})}));
}

INSTANTIATE_TEST_SUITE_P(LockOnly, SimLockOnlyTest,
                         ::testing::Values("AT90S1200", "AT90S2313", "AT90S8515", "ATtiny22",
                                           "AT90S/LS4433", "ATtiny15L"),
                         [](const auto& info) { return test::CaseName(info.param); });

TEST(SimFuses, ForeignInstructionsAreIgnoredAndUnknownReadsGiveFf) {
  TSimProgrammer sim(NoTiming());
  TRecordingHost host;
  // A read instruction sent as a write, and an older family's fuse write.
  sim.OnOutputReport(Records(7, {{0x58, 0x00, 0x00}, {0xBE, 0x00, 0x00}}), host);
  sim.OnOutputReport(Records(8, {{0x58, 0x00, 0x00},
                                 {0x50, 0x00, 0x00},
                                 {0x58, 0x08, 0x00},
                                 {0x50, 0x08, 0x00},
                                 {0x38, 0x00, 0x04},
                                 {0x30, 0x00, 0x01},
                                 {0x99, 0x00, 0x00}}),
                     host);
  ASSERT_EQ(host.FReports.size(), 2u);
  EXPECT_EQ(host.FReports[1], In({'r', 0xFF, 0xE1, 0xD9, 0xFF, 0xFF, 0x93, 0xFF}));
}

}  // namespace
}  // namespace quenvar::simtest
