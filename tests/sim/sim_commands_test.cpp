// Exact replies of the simulated programmer to each command, well-formed and not.

#include <gtest/gtest.h>

#include "sim_test_support.h"

namespace quenvar::simtest {
namespace {

struct TCommandCase {
  const char* FName;
  TBytes FReport;
  std::vector<TBytes> FExpected;  // input reports, in order
};
void PrintTo(const TCommandCase& c, std::ostream* os) {
  *os << c.FName;
}

class SimCommandTest : public ::testing::TestWithParam<TCommandCase> {};

TEST_P(SimCommandTest, RepliesExactly) {
  TSimProgrammer sim(NoTiming());
  TRecordingHost host;
  sim.OnOutputReport(GetParam().FReport, host);
  EXPECT_EQ(host.FReports, GetParam().FExpected);
  EXPECT_EQ(host.FUnplugs, 0);
}

TBytes Short(std::initializer_list<std::uint8_t> b) {
  return TBytes(b);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SimCommandTest,
    ::testing::Values(
        TCommandCase{"IspSignature", Out(kIsp, 1), {In({'s', 0x1E, 0x93, 0x07})}},
        TCommandCase{"IspErase", Out(kIsp, 2), {In({'e'})}},
        TCommandCase{"IspFuseReadLockLow",
                     Records(8, {{0x58, 0x00, 0x00}, {0x50, 0x00, 0x00}}),
                     {In({'r', 0xFF, 0xE1})}},
        TCommandCase{"IspFuseReadNoRecords", Records(8, {}), {In({'r'})}},
        TCommandCase{"IspFuseWriteNoRecords", Records(7, {}), {In({'f'})}},
        TCommandCase{"IspFuseWriteOneRecord", Records(7, {{0xA0, 0x00, 0xE4}}), {In({'f'})}},
        TCommandCase{"IspEepromReadZero", Out(kIsp, 10, 0), {In({0})}},
        TCommandCase{"IspWriteNoDataLast", Out(kIsp, 3, 0, 0, 32), {In({'w'})}},
        TCommandCase{"IspWriteNoDataMore", Out(kIsp, 3, 0, 1, 32), {In({'*'})}},
        TCommandCase{"IspVerifyNoDataLast", Out(kIsp, 4, 0, 0), {In({'v'})}},
        TCommandCase{"IspEepromWriteOne", Out(kIsp, 9, 1, 0, 0, {0x42}), {In({'w'})}},
        TCommandCase{"IspVerifyErasedFlash", Out(kIsp, 4, 2, 0, 0, {0xFF, 0xFF}), {In({'v'})}},
        TCommandCase{"IspVerifyDifference", Out(kIsp, 4, 2, 0, 0, {0xFF, 0x00}), {In({'!'})}},
        TCommandCase{"SocketErase", Out(kSocket, 2, 129, 64), {In({'e'})}},
        TCommandCase{"SocketWrite", Out(kSocket, 3, 1, 0, 64, {0x00}), {In({'w'})}},
        TCommandCase{"SocketVerify", Out(kSocket, 4, 1, 0, 64, {0xFF}), {In({'v'})}},
        TCommandCase{"SocketSignatureRefused", Out(kSocket, 1), {In({'!'})}},
        TCommandCase{"SocketFuseWriteRefused", Out(kSocket, 7), {In({'!'})}},
        TCommandCase{"SocketFuseReadRefused", Out(kSocket, 8), {In({'!'})}},
        TCommandCase{"SocketEepromWriteRefused", Out(kSocket, 9, 1, 0, 0, {1}), {In({'!'})}},
        TCommandCase{"SocketEepromReadRefused", Out(kSocket, 10, 4), {In({'!'})}},
        // Counts the report cannot hold are refused, not clamped.
        TCommandCase{"ChunkCount59", Out(kIsp, 3, 59, 0, 32), {In({'!'})}},
        TCommandCase{"ChunkCount255", Out(kSocket, 4, 255, 0, 64), {In({'!'})}},
        TCommandCase{"RecordCount21", Out(kIsp, 8, 21), {In({'!'})}},
        // Unknown commands, targets and malformed reports get no reply.
        TCommandCase{"Command0", Out(kIsp, 0), {}}, TCommandCase{"Command6", Out(kIsp, 6), {}},
        TCommandCase{"Command11", Out(kIsp, 11), {}},
        TCommandCase{"Command255", Out(kSocket, 255), {}}, TCommandCase{"Target0", Out(0, 1), {}},
        TCommandCase{"Target4", Out(4, 1), {}}, TCommandCase{"ReportId1", Short({1, 5, 1}), {}},
        TCommandCase{"TwoBytes", Short({0, 5}), {}}, TCommandCase{"Empty", Short({}), {}},
        TCommandCase{"ShortSignature", Short({0, 5, 1}), {In({'s', 0x1E, 0x93, 0x07})}}),
    [](const auto& info) { return std::string(info.param.FName); });

struct TIspSetupCase {
  const char* FName;
  TSimIspSetup FIsp;
  TBytes FSignatureBefore;
  TBytes FSignatureAfterErase;
};
void PrintTo(const TIspSetupCase& c, std::ostream* os) {
  *os << c.FName;
}

class SimIspSetupTest : public ::testing::TestWithParam<TIspSetupCase> {};

TEST_P(SimIspSetupTest, AnswersSignatureBeforeAndAfterErase) {
  TSimConfig config = NoTiming();
  config.FIsp = GetParam().FIsp;
  TSimProgrammer sim(config);
  TRecordingHost host;
  sim.OnOutputReport(Out(kIsp, 1), host);
  sim.OnOutputReport(Out(kIsp, 2), host);
  sim.OnOutputReport(Out(kIsp, 1), host);
  EXPECT_EQ(host.FReports, (std::vector<TBytes>{GetParam().FSignatureBefore, In({'e'}),
                                                GetParam().FSignatureAfterErase}));
}

INSTANTIATE_TEST_SUITE_P(
    Setups, SimIspSetupTest,
    ::testing::Values(TIspSetupCase{"ATtiny13",
                                    {TSimIspKind::Chip, "ATtiny13", {}},
                                    In({'s', 0x1E, 0x90, 0x07}),
                                    In({'s', 0x1E, 0x90, 0x07})},
                      TIspSetupCase{"AT90pwm3",
                                    {TSimIspKind::Chip, "AT90pwm3", {}},
                                    In({'s', 0x1E, 0x93, 0x81}),
                                    In({'s', 0x1E, 0x93, 0x81})},
                      TIspSetupCase{"ATmega128",
                                    {TSimIspKind::Chip, "ATmega128", {}},
                                    In({'s', 0x1E, 0x97, 0x02}),
                                    In({'s', 0x1E, 0x97, 0x02})},
                      TIspSetupCase{"LockedStaysLocked",
                                    {TSimIspKind::Locked, "", {}},
                                    In({'s', 0x00, 0x01, 0x02}),
                                    In({'s', 0x00, 0x01, 0x02})},
                      TIspSetupCase{"LockedMega8ErasedIsRevealed",
                                    {TSimIspKind::Locked, "ATmega8", {}},
                                    In({'s', 0x00, 0x01, 0x02}),
                                    In({'s', 0x1E, 0x93, 0x07})},
                      TIspSetupCase{"NoChip",
                                    {TSimIspKind::None, "", {}},
                                    In({'s', 0xFF, 0xFF, 0xFF}),
                                    In({'s', 0xFF, 0xFF, 0xFF})},
                      TIspSetupCase{"RawUnknown",
                                    {TSimIspKind::Signature, "", {0x1E, 0x98, 0x01}},
                                    In({'s', 0x1E, 0x98, 0x01}),
                                    In({'s', 0x1E, 0x98, 0x01})},
                      TIspSetupCase{"RawOfTableChip",
                                    {TSimIspKind::Signature, "", {0x1E, 0x94, 0x03}},
                                    In({'s', 0x1E, 0x94, 0x03}),
                                    In({'s', 0x1E, 0x94, 0x03})}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST(SimNoChip, FuseReadsGiveFfAndWritesFailPastTheEmptyFlash) {
  TSimConfig config = NoTiming();
  config.FIsp = {TSimIspKind::None, "", {}};
  TSimProgrammer sim(config);
  TRecordingHost host;
  sim.OnOutputReport(Records(8, {{0x58, 0, 0}, {0x50, 0, 0}, {0x38, 0, 0}}), host);
  sim.OnOutputReport(Out(kIsp, 3, 1, 0, 1, {0x00}), host);
  sim.OnOutputReport(Out(kIsp, 9, 1, 0, 0, {0x00}), host);
  EXPECT_EQ(host.FReports,
            (std::vector<TBytes>{In({'r', 0xFF, 0xFF, 0xFF}), In({'!'}), In({'!'})}));
}

TEST(SimFlash, WriteThenVerifyAcrossChunks) {
  TSimProgrammer sim(NoTiming());
  TRecordingHost host;
  TBytes data(100);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 ^ i);
  EXPECT_EQ(SendChunks(sim, host, kIsp, 3, data, 58, 1, 32), "*w");
  EXPECT_EQ(sim.Avr().Flash()[0], 0xA0);
  EXPECT_EQ(sim.Avr().Flash()[63], 0xA0 ^ 63);
  EXPECT_EQ(sim.Avr().Flash()[99], 0xA0 ^ 99);
  EXPECT_EQ(sim.Avr().Flash()[100], 0xFF);
  EXPECT_EQ(SendChunks(sim, host, kIsp, 4, data, 58, 1, 32), "*v");
  data[70] ^= 0x01;
  EXPECT_EQ(SendChunks(sim, host, kIsp, 4, data, 58, 1, 32), "*!");
  // Flash only clears bits: writing over programmed bytes without an erase
  // leaves the AND of old and new.
  EXPECT_EQ(SendChunks(sim, host, kIsp, 3, TBytes{0x0F}, 58, 1, 32), "w");
  EXPECT_EQ(sim.Avr().Flash()[0], 0x00);
}

struct TPageCase {
  const char* FChip;
  std::uint8_t FPageCode;
  std::size_t FLength;
  // Expected flash at a few addresses after writing data[i] = i + 1.
  std::vector<std::pair<std::size_t, std::uint8_t>> FFlash;
};
void PrintTo(const TPageCase& c, std::ostream* os) {
  *os << c.FChip;
}

class SimPageCodeTest : public ::testing::TestWithParam<TPageCase> {};

TEST_P(SimPageCodeTest, FlashShowsWhatThePageCodeCausedOnTheChip) {
  TSimProgrammer sim(NoTiming(GetParam().FChip));
  TRecordingHost host;
  TBytes data(GetParam().FLength);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 1);
  const std::string codes = SendChunks(sim, host, kIsp, 3, data, 58, 1, GetParam().FPageCode);
  EXPECT_EQ(codes.back(), 'w');
  for (auto [address, value] : GetParam().FFlash) {
    EXPECT_EQ(sim.Avr().Flash()[address], value) << "address " << address;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pages, SimPageCodeTest,
    ::testing::Values(
        // Right code: everything lands, the partial last page too.
        TPageCase{"ATmega8", 32, 130, {{0, 1}, {63, 64}, {64, 65}, {129, 130}, {130, 0xFF}}},
        TPageCase{"ATtiny13", 129, 40, {{0, 1}, {31, 32}, {39, 40}, {40, 0xFF}}},
        TPageCase{"ATmega168", 131, 130, {{0, 1}, {127, 128}, {129, 130}}},
        TPageCase{"ATmega128", 128, 300, {{0, 1}, {255, 0}, {256, 1}, {299, 44}}},
        // Byte-wise parts program every byte, whatever the code says.
        TPageCase{"AT90S2313", 1, 70, {{0, 1}, {69, 70}}},
        TPageCase{"AT90S8515", 32, 70, {{0, 1}, {69, 70}}},
        // Code 1 on a paged part only fills the page buffer: nothing is written.
        TPageCase{"ATmega8", 1, 64, {{0, 0xFF}, {63, 0xFF}}},
        // A page twice the real one: the second half overwrites the buffer and
        // lands in the first page; the second page stays blank.
        TPageCase{"ATmega8", 64, 128, {{0, 65}, {63, 128}, {64, 0xFF}, {127, 0xFF}}},
        // A smaller page than the real one still works, just with more writes.
        TPageCase{"ATmega16", 32, 128, {{0, 1}, {64, 65}, {127, 128}}}),
    [](const auto& info) {
      return std::string(info.param.FChip) + "_code" + std::to_string(info.param.FPageCode) + "_" +
             std::to_string(info.index);
    });

TEST(SimEeprom, WritePastTheEndAnswersErrorAtThatChunk) {
  TSimProgrammer sim(NoTiming());
  TRecordingHost host;
  EXPECT_EQ(SendChunks(sim, host, kIsp, 9, TBytes(513, 0x5A), 58, 1, 0), "********!");
  EXPECT_EQ(sim.Avr().Eeprom()[463], 0x5A);
  EXPECT_EQ(sim.Avr().Eeprom()[464], 0xFF);  // the refused chunk wrote nothing
  EXPECT_EQ(SendChunks(sim, host, kIsp, 9, TBytes(512, 0x33), 58, 1, 0), "********w");
  EXPECT_EQ(sim.Avr().Eeprom()[511], 0x33);
}

TEST(SimFlash, WritePastTheEndAnswersError) {
  TSimProgrammer sim(NoTiming("ATtiny13"));
  TRecordingHost host;
  EXPECT_EQ(SendChunks(sim, host, kIsp, 3, TBytes(1025, 0), 58, 1, 129), "*****************!");
  TSimProgrammer fresh(NoTiming("ATtiny13"));
  EXPECT_EQ(SendChunks(fresh, host, kIsp, 4, TBytes(1025, 0xFF), 58, 1, 0), "*****************!");
}

struct TEraseCase {
  const char* FName;
  TBytes FHighFuseRecord;  // written before the erase; empty for none
  std::uint8_t FEepromAfter;
};
void PrintTo(const TEraseCase& c, std::ostream* os) {
  *os << c.FName;
}

class SimEraseTest : public ::testing::TestWithParam<TEraseCase> {};

TEST_P(SimEraseTest, ClearsFlashAndLockAndEepromUnlessEesave) {
  TSimProgrammer sim(NoTiming());
  TRecordingHost host;
  SendChunks(sim, host, kIsp, 3, TBytes(64, 0x00), 58, 1, 32);
  SendChunks(sim, host, kIsp, 9, TBytes(4, 0x00), 58, 1, 0);
  std::vector<TBytes> records{{0xE0, 0x00, 0xFC}};
  if (!GetParam().FHighFuseRecord.empty()) records.push_back(GetParam().FHighFuseRecord);
  sim.OnOutputReport(Records(7, records), host);
  host.Clear();
  sim.OnOutputReport(Out(kIsp, 2), host);
  sim.OnOutputReport(Records(8, {{0x58, 0x00, 0x00}}), host);
  EXPECT_EQ(host.FReports, (std::vector<TBytes>{In({'e'}), In({'r', 0xFF})}));
  EXPECT_EQ(sim.Avr().Flash()[0], 0xFF);
  EXPECT_EQ(sim.Avr().Flash()[63], 0xFF);
  EXPECT_EQ(sim.Avr().Eeprom()[0], GetParam().FEepromAfter);
}

INSTANTIATE_TEST_SUITE_P(Erase, SimEraseTest,
                         ::testing::Values(TEraseCase{"EesaveUnprogrammed", {}, 0xFF},
                                           TEraseCase{"EesaveProgrammed", {0xA8, 0x00, 0xD1}, 0x00},
                                           TEraseCase{
                                               "EesaveWrittenBack", {0xA8, 0x00, 0xD9}, 0xFF}),
                         [](const auto& info) { return std::string(info.param.FName); });

TEST(SimLockBits, ProtectWritesInMode2AndReadsInMode3) {
  TSimProgrammer sim(NoTiming());
  TRecordingHost host;
  SendChunks(sim, host, kIsp, 3, TBytes{0x12, 0x34}, 58, 1, 32);
  sim.OnOutputReport(Records(7, {{0xE0, 0x00, 0xFE}}), host);  // LB1: mode 2
  EXPECT_EQ(SendChunks(sim, host, kIsp, 9, TBytes{0x00}, 58, 1, 0), "w");
  EXPECT_EQ(sim.Avr().Eeprom()[0], 0xFF);
  EXPECT_EQ(SendChunks(sim, host, kIsp, 4, TBytes{0x12, 0x34}, 58, 1, 0), "v");
  sim.OnOutputReport(Records(7, {{0xE0, 0x00, 0xFD}}), host);  // and LB2: mode 3
  EXPECT_EQ(SendChunks(sim, host, kIsp, 4, TBytes{0x12, 0x34}, 58, 1, 0), "!");
  EXPECT_EQ(SendChunks(sim, host, kIsp, 4, TBytes{0xFF, 0xFF}, 58, 1, 0), "v");
}

struct TTimingCase {
  const char* FName;
  std::vector<TBytes> FBefore;  // sent first, replies not checked
  TBytes FReport;
  std::vector<long> FDelaysUs;
};
void PrintTo(const TTimingCase& c, std::ostream* os) {
  *os << c.FName;
}

class SimTimingTest : public ::testing::TestWithParam<TTimingCase> {};

TEST_P(SimTimingTest, DelaysFollowFramesAndProgrammingTimes) {
  TSimConfig config = NoTiming("ATmega8", "24AA02");
  config.FRealTiming = true;
  TSimProgrammer sim(config);
  TRecordingHost host;
  for (const auto& r : GetParam().FBefore) sim.OnOutputReport(r, host);
  host.Clear();
  sim.OnOutputReport(GetParam().FReport, host);
  std::vector<long> delays;
  for (auto d : host.FDelays) delays.push_back(static_cast<long>(d.count()));
  EXPECT_EQ(delays, GetParam().FDelaysUs);
}

INSTANTIATE_TEST_SUITE_P(
    Timing, SimTimingTest,
    ::testing::Values(TTimingCase{"Signature", {}, Out(kIsp, 1), {2000}},
                      TTimingCase{"ChipErase", {}, Out(kIsp, 2), {11000}},
                      TTimingCase{"FuseWriteThreeRecords",
                                  {},
                                  Records(7, {{0xE0, 0, 0xFF}, {0xA8, 0, 0xD9}, {0xA0, 0, 0xE1}}),
                                  {15500}},
                      TTimingCase{"FlashChunkWithoutPageEnd", {}, Out(kIsp, 3, 58, 1, 32), {2000}},
                      TTimingCase{"FlashChunkEndingTwoPages",
                                  {Out(kIsp, 3, 58, 1, 32), Out(kIsp, 3, 58, 1, 32)},
                                  Out(kIsp, 3, 58, 0, 32),
                                  {11000}},
                      TTimingCase{"FlashByteWise", {}, Out(kIsp, 3, 3, 0, 1), {15500}},
                      TTimingCase{"EepromChunk", {}, Out(kIsp, 9, 58, 1), {524000}},
                      TTimingCase{"SocketChunkTwoPages", {}, Out(kSocket, 3, 32, 2, 16), {12000}},
                      TTimingCase{"SocketErase256InPagesOf8", {}, Out(kSocket, 2, 2, 8), {162000}},
                      TTimingCase{"VerifyChunk", {}, Out(kIsp, 4, 2, 0, 0, {0xFF, 0xFF}), {2000}},
                      TTimingCase{"EepromReadStream",
                                  {},
                                  Out(kIsp, 10, 130),
                                  {2000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000}}),
    [](const auto& info) { return std::string(info.param.FName); });

}  // namespace
}  // namespace quenvar::simtest

namespace quenvar::simtest {
namespace {

// Random reports with mostly valid targets and commands: the model never
// crashes and only ever answers with whole reports of the known kinds.
TEST(SimRobustness, RandomReportsGetOnlyWellFormedReplies) {
  for (const char* chip : {"ATmega128", "ATtiny12", "AT90S/LS2323"}) {
    TSimProgrammer sim(NoTiming(chip, "24AA00"));
    std::uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return static_cast<std::uint8_t>(seed >> 16);
    };
    const std::string codes = "*!sewvfr";
    for (int i = 0; i < 3000; ++i) {
      TBytes r(next() % 4 == 0 ? next() % 70 : 65);
      for (auto& b : r) b = next();
      if (r.size() > 2) {
        r[0] = next() % 8 == 0 ? r[0] : 0;
        r[1] = next() % 2 ? kIsp : kSocket;
        r[2] = next() % 12;
        if (r.size() > 3 && (r[2] == 5 || r[2] == 10)) r[3] %= 4;  // keep streams short
      }
      TRecordingHost host;
      sim.OnOutputReport(r, host);
      const bool stream = r.size() > 2 && r[0] == 0 && (r[2] == 5 || r[2] == 10) &&
                          host.FReports.size() > 0 && host.FReports[0][1] != '!';
      for (const auto& in : host.FReports) {
        ASSERT_EQ(in.size(), 65u);
        EXPECT_EQ(in[0], 0);
        if (stream) {
          EXPECT_LE(in[1], 63);
        } else {
          EXPECT_NE(codes.find(static_cast<char>(in[1])), std::string::npos) << int{in[1]};
        }
      }
    }
  }
}

}  // namespace
}  // namespace quenvar::simtest
