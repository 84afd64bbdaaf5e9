// Scripted faults fire exactly at the point they name, once.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim_test_support.h"

namespace quenvar::simtest {
namespace {

const TBytes kSig = In({'s', 0x1E, 0x93, 0x07});
const TBytes kGarbageStart{0x00, 0xF8, 0x2D, 0x62, 0x97};

TBytes Garbage() {
  const auto g = TSimProgrammer::GarbageReport();
  return TBytes(g.begin(), g.end());
}

TEST(SimFaults, GarbageReportIsNoReplyCodeAndNoStreamCount) {
  const TBytes g = Garbage();
  ASSERT_EQ(g.size(), 65u);
  EXPECT_EQ(TBytes(g.begin(), g.begin() + 5), kGarbageStart);
}

struct TReportFaultCase {
  const char* FName;
  TSimFault FFault;
  std::vector<std::vector<TBytes>> FReplies;  // per signature request 1..3
  std::vector<int> FUnplugs;
};
void PrintTo(const TReportFaultCase& c, std::ostream* os) {
  *os << c.FName;
}

class SimReportFaultTest : public ::testing::TestWithParam<TReportFaultCase> {};

TEST_P(SimReportFaultTest, FiresAtTheNamedReportOnly) {
  TSimProgrammer sim(NoTiming());
  TRecordingHost host;
  sim.OnOutputReport(Out(kIsp, 1), host);  // before the fault is added: not counted
  sim.AddFault(GetParam().FFault);
  for (std::size_t i = 0; i < 3; ++i) {
    host.Clear();
    sim.OnOutputReport(Out(kIsp, 1), host);
    EXPECT_EQ(host.FReports, GetParam().FReplies[i]) << "request " << i + 1;
    EXPECT_EQ(host.FUnplugs, GetParam().FUnplugs[i]) << "request " << i + 1;
  }
  EXPECT_EQ(sim.PendingFaults(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimReportFaultTest,
    ::testing::Values(TReportFaultCase{"NoReplyAt2",
                                       TSimFault::AtOutputReport(2, TSimFaultAction::NoReply),
                                       {{kSig}, {}, {kSig}},
                                       {0, 0, 0}},
                      TReportFaultCase{"ErrorAt1",
                                       TSimFault::AtOutputReport(1, TSimFaultAction::ReplyError),
                                       {{In({'!'})}, {kSig}, {kSig}},
                                       {0, 0, 0}},
                      TReportFaultCase{"UnplugAt3",
                                       TSimFault::AtOutputReport(3, TSimFaultAction::Unplug),
                                       {{kSig}, {kSig}, {}},
                                       {0, 0, 1}},
                      TReportFaultCase{"GarbageAt2",
                                       TSimFault::AtOutputReport(2, TSimFaultAction::Garbage),
                                       {{kSig}, {Garbage()}, {kSig}},
                                       {0, 0, 0}},
                      TReportFaultCase{"DuplicateAt1",
                                       TSimFault::AtOutputReport(1, TSimFaultAction::Duplicate),
                                       {{kSig, kSig}, {kSig}, {kSig}},
                                       {0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.FName); });

struct TChunkFaultCase {
  const char* FName;
  TSimFault FFault;
  std::string FCodes;  // replies to a four-chunk flash write, '-' for none
  int FUnplugs;
  std::uint8_t FFlashAt0;  // what reached the chip
};
void PrintTo(const TChunkFaultCase& c, std::ostream* os) {
  *os << c.FName;
}

class SimChunkFaultTest : public ::testing::TestWithParam<TChunkFaultCase> {};

TEST_P(SimChunkFaultTest, FiresAtTheNamedChunk) {
  TSimProgrammer sim(NoTiming());
  TRecordingHost host;
  sim.OnOutputReport(Out(kIsp, 1), host);  // not a chunk: not counted
  sim.AddFault(GetParam().FFault);
  std::string codes;
  int unplugs = 0;
  for (int i = 0; i < 4; ++i) {
    host.Clear();
    sim.OnOutputReport(Out(kIsp, 3, 16, i == 3 ? 0 : 1, 32, TBytes(16, 0x00)), host);
    for (const auto& r : host.FReports) codes += static_cast<char>(r[1]);
    if (host.FReports.empty()) codes += '-';
    unplugs += host.FUnplugs;
  }
  EXPECT_EQ(codes, GetParam().FCodes);
  EXPECT_EQ(unplugs, GetParam().FUnplugs);
  EXPECT_EQ(sim.Avr().Flash()[0], GetParam().FFlashAt0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimChunkFaultTest,
    ::testing::Values(TChunkFaultCase{"None", TSimFault::AtChunk(9, TSimFaultAction::ReplyError),
                                      "***w", 0, 0x00},
                      // After a fault the firmware drops the transfer: the next chunk starts
                      // a new one at address 0.
                      TChunkFaultCase{"ErrorAt2",
                                      TSimFault::AtChunk(2, TSimFaultAction::ReplyError), "*!*w", 0,
                                      0x00},
                      TChunkFaultCase{"NoReplyAt4", TSimFault::AtChunk(4, TSimFaultAction::NoReply),
                                      "***-", 0, 0x00},
                      TChunkFaultCase{"UnplugAt1", TSimFault::AtChunk(1, TSimFaultAction::Unplug),
                                      "-**w", 1, 0x00},
                      TChunkFaultCase{"UnplugAt4", TSimFault::AtChunk(4, TSimFaultAction::Unplug),
                                      "***-", 1, 0xFF},
                      TChunkFaultCase{"DuplicateAt3",
                                      TSimFault::AtChunk(3, TSimFaultAction::Duplicate), "****w", 0,
                                      0x00},
                      TChunkFaultCase{"GarbageAt4", TSimFault::AtChunk(4, TSimFaultAction::Garbage),
                                      "***\xF8", 0, 0x00}),
    [](const auto& info) { return std::string(info.param.FName); });

struct TStreamFaultCase {
  const char* FName;
  TSimFault FFault;
  std::vector<int> FCounts;  // reply byte 1 of each report (count, '!' or garbage)
  int FUnplugs;
};
void PrintTo(const TStreamFaultCase& c, std::ostream* os) {
  *os << c.FName;
}

class SimStreamFaultTest : public ::testing::TestWithParam<TStreamFaultCase> {};

TEST_P(SimStreamFaultTest, FiresAfterTheNamedDataReport) {
  TSimProgrammer sim(NoTiming());
  TRecordingHost host;
  sim.AddFault(GetParam().FFault);
  sim.OnOutputReport(Out(kIsp, 10, 0x81), host);  // 256 bytes: 63, 63, 63, 63, 4
  std::vector<int> counts;
  for (const auto& r : host.FReports) counts.push_back(r[1]);
  EXPECT_EQ(counts, GetParam().FCounts);
  EXPECT_EQ(host.FUnplugs, GetParam().FUnplugs);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimStreamFaultTest,
    ::testing::Values(
        TStreamFaultCase{"StopAfter3", TSimFault::StopStreamAfter(3), {63, 63, 63}, 0},
        TStreamFaultCase{"StopAfterLast", TSimFault::StopStreamAfter(5), {63, 63, 63, 63, 4}, 0},
        TStreamFaultCase{"ErrorAfter1",
                         TSimFault::AfterDataReport(1, TSimFaultAction::ReplyError),
                         {63, '!'},
                         0},
        TStreamFaultCase{
            "UnplugAfter2", TSimFault::AfterDataReport(2, TSimFaultAction::Unplug), {63, 63}, 1},
        TStreamFaultCase{"GarbageAfter4",
                         TSimFault::AfterDataReport(4, TSimFaultAction::Garbage),
                         {63, 63, 63, 63, 0xF8, 4},
                         0},
        TStreamFaultCase{"DuplicateAfter5",
                         TSimFault::AfterDataReport(5, TSimFaultAction::Duplicate),
                         {63, 63, 63, 63, 4, 4},
                         0},
        TStreamFaultCase{
            "NotReachedAfter6", TSimFault::StopStreamAfter(6), {63, 63, 63, 63, 4}, 0}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST(SimFaults, DataReportsCountAcrossReads) {
  TSimProgrammer sim(NoTiming("ATtiny13"));
  TRecordingHost host;
  sim.AddFault(TSimFault::StopStreamAfter(3));
  sim.OnOutputReport(Out(kIsp, 10, 0x40), host);  // 2 data reports
  EXPECT_EQ(host.FReports.size(), 2u);
  host.Clear();
  sim.OnOutputReport(Out(kIsp, 10, 0x40), host);  // the 3rd is the last one sent
  EXPECT_EQ(host.FReports.size(), 1u);
  host.Clear();
  sim.OnOutputReport(Out(kIsp, 10, 0x40), host);
  EXPECT_EQ(host.FReports.size(), 2u);
}

TEST(SimFaults, ClearDropsPendingFaults) {
  TSimProgrammer sim(NoTiming());
  TRecordingHost host;
  sim.AddFault(TSimFault::AtOutputReport(1, TSimFaultAction::ReplyError));
  sim.AddFault(TSimFault::AtChunk(1, TSimFaultAction::ReplyError));
  EXPECT_EQ(sim.PendingFaults(), 2u);
  sim.ClearFaults();
  EXPECT_EQ(sim.PendingFaults(), 0u);
  sim.OnOutputReport(Out(kIsp, 1), host);
  EXPECT_EQ(host.FReports, std::vector<TBytes>{kSig});
}

TEST(SimFaults, UnsolicitedReportGoesThroughTheHost) {
  TSimProgrammer sim(NoTiming());
  TRecordingHost host;
  const TBytes star{'*'};
  sim.EmitUnsolicited(host, star);
  const TBytes sig{'s', 0x1E, 0x93, 0x07};
  sim.EmitUnsolicited(host, sig);
  EXPECT_EQ(host.FReports, (std::vector<TBytes>{In({'*'}), kSig}));
}

}  // namespace
}  // namespace quenvar::simtest

namespace quenvar::simtest {
namespace {

TEST(SimSession, ResetStartsTheNextWriteAtAddressZero) {
  TSimProgrammer sim(NoTiming("ATmega8", "24AA02"));
  TRecordingHost host;
  sim.OnOutputReport(Out(kSocket, 3, 2, 2, 8, {0x11, 0x22}), host);  // more to come
  sim.ResetSession();
  sim.OnOutputReport(Out(kSocket, 3, 1, 0, 8, {0x33}), host);
  EXPECT_EQ(host.FReports, (std::vector<TBytes>{In({'*'}), In({'w'})}));
  EXPECT_EQ(TBytes(sim.Socket().Content().begin(), sim.Socket().Content().begin() + 3),
            (TBytes{0x33, 0x22, 0xFF}));
}

// Scripting from the test thread while another thread writes reports; run
// under the thread sanitizer this checks the locking.
TEST(SimThreads, FaultsMayBeScriptedWhileAnotherThreadWrites) {
  TSimProgrammer sim(NoTiming());
  std::atomic<bool> started{false};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    while (!started) std::this_thread::yield();
    TRecordingHost host;
    for (int i = 0; i < 2000; ++i) sim.OnOutputReport(Out(kIsp, 1), host);
    done = true;
  });
  do {
    sim.AddFault(TSimFault::AtOutputReport(1, TSimFaultAction::Duplicate));
    started = true;
    if (sim.PendingFaults() > 10) sim.ClearFaults();
  } while (!done);
  writer.join();
  TRecordingHost host;
  sim.ClearFaults();
  sim.OnOutputReport(Out(kIsp, 1), host);
  EXPECT_EQ(host.FReports, std::vector<TBytes>{kSig});
}

}  // namespace
}  // namespace quenvar::simtest
