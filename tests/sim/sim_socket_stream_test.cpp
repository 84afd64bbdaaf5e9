// The 24xx in the socket (address wrap, page-write wrap, erase) and the
// streamed data reports of reads.

#include <gtest/gtest.h>

#include "sim_test_support.h"

namespace quenvar::simtest {
namespace {

struct TStreamCase {
  const char* FName;
  const char* FChip;
  const char* FSocket;
  TBytes FReport;
  std::size_t FReports;
  std::uint8_t FLastCount;
  std::size_t FTotal;
};
void PrintTo(const TStreamCase& c, std::ostream* os) {
  *os << c.FName;
}

class SimStreamTest : public ::testing::TestWithParam<TStreamCase> {};

TEST_P(SimStreamTest, StreamsTheAskedNumberOfBytes) {
  TSimProgrammer sim(NoTiming(GetParam().FChip, GetParam().FSocket));
  TRecordingHost host;
  sim.OnOutputReport(GetParam().FReport, host);
  ASSERT_EQ(host.FReports.size(), GetParam().FReports);
  std::size_t total = 0;
  for (std::size_t i = 0; i + 1 < host.FReports.size(); ++i) {
    EXPECT_EQ(host.FReports[i][1], 63) << "report " << i;
    total += host.FReports[i][1];
  }
  EXPECT_EQ(host.FReports.back()[1], GetParam().FLastCount);
  total += host.FReports.back()[1];
  EXPECT_EQ(total, GetParam().FTotal);
  for (const auto& r : host.FReports) EXPECT_EQ(r.size(), 65u);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, SimStreamTest,
    ::testing::Values(
        TStreamCase{"Flash8K", "ATmega8", "24AA256", Out(kIsp, 5, 8), 131, 2, 8192},
        TStreamCase{"Flash1K", "ATtiny13", "24AA256", Out(kIsp, 5, 1), 17, 16, 1024},
        TStreamCase{"Flash128K", "ATmega128", "24AA256", Out(kIsp, 5, 128), 2081, 32, 131072},
        TStreamCase{"FlashZero", "ATmega8", "24AA256", Out(kIsp, 5, 0), 1, 0, 0},
        TStreamCase{"Eeprom64", "ATtiny13", "24AA256", Out(kIsp, 10, 0x40), 2, 1, 64},
        TStreamCase{"Eeprom63", "ATtiny13", "24AA256", Out(kIsp, 10, 63), 1, 63, 63},
        TStreamCase{"Eeprom256", "ATmega48", "24AA256", Out(kIsp, 10, 0x81), 5, 4, 256},
        TStreamCase{"Eeprom4K", "ATmega128", "24AA256", Out(kIsp, 10, 0x90), 66, 1, 4096},
        TStreamCase{"EepromZero", "ATmega8", "24AA256", Out(kIsp, 10, 0), 1, 0, 0},
        TStreamCase{"Socket16", "ATmega8", "24AA00", Out(kSocket, 5, 0), 1, 16, 16},
        TStreamCase{"Socket512", "ATmega8", "24AA04", Out(kSocket, 5, 4), 9, 8, 512},
        TStreamCase{"Socket64K", "ATmega8", "24AA512", Out(kSocket, 5, 130), 1041, 16, 65536}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST(SimStream, CarriesTheMemoryInOrder) {
  TSimProgrammer sim(NoTiming("ATtiny13"));
  for (std::size_t i = 0; i < 64; ++i) sim.Avr().Eeprom()[i] = static_cast<std::uint8_t>(200 - i);
  TRecordingHost host;
  sim.OnOutputReport(Out(kIsp, 10, 0x40), host);
  ASSERT_EQ(host.FReports.size(), 2u);
  EXPECT_EQ(host.FReports[0][2], 200);
  EXPECT_EQ(host.FReports[0][64], 138);
  EXPECT_EQ(host.FReports[1], In({1, 137}));
}

TEST(SimStream, FlashReadLongerThanTheChipWraps) {
  TSimProgrammer sim(NoTiming("ATtiny13"));
  sim.Avr().Flash()[0] = 0x11;
  sim.Avr().Flash()[1023] = 0x22;
  TRecordingHost host;
  sim.OnOutputReport(Out(kIsp, 5, 2), host);  // asks 2048 bytes of a 1024-byte flash
  TBytes all;
  for (const auto& r : host.FReports) all.insert(all.end(), r.begin() + 2, r.begin() + 2 + r[1]);
  ASSERT_EQ(all.size(), 2048u);
  EXPECT_EQ(all[1023], 0x22);
  EXPECT_EQ(all[1024], 0x11);
  EXPECT_EQ(all[2047], 0x22);
}

// Real 24AA02: 256 bytes, 8-byte pages.
class Sim24xxTest : public ::testing::Test {
 protected:
  Sim24xxTest() : FSim(NoTiming("ATmega8", "24AA02")) {}
  const TBytes& Content() { return FSim.Socket().Content(); }
  TSimProgrammer FSim;
  TRecordingHost FHost;
};

TEST_F(Sim24xxTest, PageWriteWrapsInsideTheRealPage) {
  // The user picked a type with 16-byte pages: bytes 8..15 wrap onto 0..7.
  TBytes data(16);
  for (std::size_t i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>(0x40 + i);
  EXPECT_EQ(SendChunks(FSim, FHost, kSocket, 3, data, 32, 2, 16), "w");
  EXPECT_EQ(TBytes(Content().begin(), Content().begin() + 16),
            (TBytes{0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                    0xFF, 0xFF, 0xFF}));
}

TEST_F(Sim24xxTest, RightPageSizeWritesEverything) {
  TBytes data(20);
  for (std::size_t i = 0; i < 20; ++i) data[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(SendChunks(FSim, FHost, kSocket, 3, data, 32, 2, 8), "w");
  EXPECT_EQ(TBytes(Content().begin(), Content().begin() + 21),
            (TBytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0xFF}));
  EXPECT_EQ(SendChunks(FSim, FHost, kSocket, 4, data, 58, 2, 8), "v");
}

TEST_F(Sim24xxTest, AddressesWrapAtTheRealSize) {
  // The user picked a 512-byte type; the last 44 bytes land at 0..43.
  TBytes data(300, 0x11);
  std::fill(data.begin() + 256, data.end(), 0x22);
  EXPECT_EQ(SendChunks(FSim, FHost, kSocket, 3, data, 32, 4, 8), "*********w");
  EXPECT_EQ(Content()[0], 0x22);
  EXPECT_EQ(Content()[43], 0x22);
  EXPECT_EQ(Content()[44], 0x11);
  EXPECT_EQ(Content()[255], 0x11);
  // Verify reads through the same wrap: the first 256 bytes no longer match.
  EXPECT_EQ(SendChunks(FSim, FHost, kSocket, 4, data, 58, 4, 8), "!");
}

TEST_F(Sim24xxTest, ReadOfALargerTypeRepeatsTheChip) {
  FSim.Socket().Content()[0] = 0xAB;
  FSim.Socket().Content()[255] = 0xCD;
  FSim.OnOutputReport(Out(kSocket, 5, 4), FHost);
  TBytes all;
  for (const auto& r : FHost.FReports) all.insert(all.end(), r.begin() + 2, r.begin() + 2 + r[1]);
  ASSERT_EQ(all.size(), 512u);
  EXPECT_EQ(all[255], 0xCD);
  EXPECT_EQ(all[256], 0xAB);
  EXPECT_EQ(all[511], 0xCD);
}

struct TSocketEraseCase {
  const char* FName;
  std::uint8_t FSizeCode;
  std::uint8_t FPageSize;
  std::vector<std::pair<std::size_t, std::uint8_t>> FAfter;
};
void PrintTo(const TSocketEraseCase& c, std::ostream* os) {
  *os << c.FName;
}

class Sim24xxEraseTest : public ::testing::TestWithParam<TSocketEraseCase> {};

TEST_P(Sim24xxEraseTest, FillsWithFfOverTheSelectedSize) {
  TSimProgrammer sim(NoTiming("ATmega8", "24AA02"));
  std::fill(sim.Socket().Content().begin(), sim.Socket().Content().end(), 0x00);
  TRecordingHost host;
  sim.OnOutputReport(Out(kSocket, 2, GetParam().FSizeCode, GetParam().FPageSize), host);
  EXPECT_EQ(host.FReports, std::vector<TBytes>{In({'e'})});
  for (auto [address, value] : GetParam().FAfter) {
    EXPECT_EQ(sim.Socket().Content()[address], value) << "address " << address;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Erase, Sim24xxEraseTest,
    ::testing::Values(
        TSocketEraseCase{"WholeChip", 2, 8, {{0, 0xFF}, {128, 0xFF}, {255, 0xFF}}},
        TSocketEraseCase{"LargerType", 4, 8, {{0, 0xFF}, {8, 0xFF}, {255, 0xFF}}},
        TSocketEraseCase{"SmallerType", 1, 8, {{0, 0xFF}, {127, 0xFF}, {128, 0x00}, {255, 0x00}}},
        // Pages of 16 on an 8-byte-page chip: each write wraps onto its first
        // half, so the second halves keep their data.
        TSocketEraseCase{"WrongPageSize",
                         2,
                         16,
                         {{0, 0xFF}, {7, 0xFF}, {8, 0x00}, {15, 0x00}, {16, 0xFF}, {24, 0x00}}},
        TSocketEraseCase{"Tiny", 0, 1, {{0, 0xFF}, {15, 0xFF}, {16, 0x00}}}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST(Sim24xx, WritePastTheAddressRangeAnswersError) {
  TSimProgrammer sim(NoTiming("ATmega8", "24AA512"));
  TRecordingHost host;
  const std::string codes = SendChunks(sim, host, kSocket, 3, TBytes(65537, 0x00), 32, 130, 128);
  EXPECT_EQ(codes.size(), 2049u);
  EXPECT_EQ(codes.substr(2046), "**!");
}

TEST(Sim24xx, TinyChipWithByteWrites) {
  TSimProgrammer sim(NoTiming("ATmega8", "24AA00"));
  TRecordingHost host;
  TBytes data(16);
  for (std::size_t i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>(i * 3);
  // Size code 0: byte 4 is 0 on every chunk, so each one ends the write.
  EXPECT_EQ(SendChunks(sim, host, kSocket, 3, data, 32, 0, 1), "w");
  EXPECT_EQ(sim.Socket().Content(), data);
}

}  // namespace
}  // namespace quenvar::simtest
