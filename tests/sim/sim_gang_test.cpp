// Several programmers, their shared state file, and chips taken out in turn.

#include "quenvar/sim/sim_gang.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "sim_test_support.h"
#include "temp_dir.h"

namespace quenvar::simtest {
namespace {

// Tokens: "s" reads the signature (noted in hex), "w" writes flash byte 0 and
// the low fuse (noted as the reply codes), "r" notes flash byte 0 and the low
// fuse, "e" ends a chain, "+N" lets N ms pass.
struct TSupplyCase {
  const char* FName;
  const char* FConfig;
  const char* FScript;
  const char* FSeen;
};
void PrintTo(const TSupplyCase& c, std::ostream* os) {
  *os << c.FName;
}

class SimChipSupplyTest : public ::testing::TestWithParam<TSupplyCase> {};

TEST_P(SimChipSupplyTest, SwapsChipsInTurn) {
  TSimProgrammer sim(ParseSimConfig(GetParam().FConfig).Value());
  auto now = std::chrono::steady_clock::time_point{};
  sim.SetClock([&now] { return now; });
  TRecordingHost host;
  std::istringstream script(GetParam().FScript);
  std::string seen;
  char hex[16];
  for (std::string token; script >> token;) {
    if (token == "e") sim.ChainEnded();
    if (token[0] == '+') now += std::chrono::milliseconds(std::stoi(token.substr(1)));
    if (token == "w") {
      seen += SendChunks(sim, host, kIsp, 3, TBytes{0x12}, 58, 1, 32) + " ";
      sim.OnOutputReport(Records(7, {{0xA0, 0x00, 0x24}}), host);
    }
    if (token == "r")
      std::snprintf(hex, sizeof hex, "%02X/%02X ", sim.Avr().Flash()[0], sim.Avr().LowFuse());
    if (token == "s") {
      host.Clear();
      sim.OnOutputReport(Out(kIsp, 1), host);
      const TBytes& r = host.FReports[0];
      std::snprintf(hex, sizeof hex, "%02X%02X%02X ", r[2], r[3], r[4]);
    }
    if (token == "r" || token == "s") seen += hex;
  }
  EXPECT_EQ(seen, GetParam().FSeen);
}

INSTANTIATE_TEST_SUITE_P(
    Supply, SimChipSupplyTest,
    ::testing::Values(
        TSupplyCase{"NoSupplyKeepsItsChip", "timing=none", "w e s s r", "w 1E9307 1E9307 12/24 "},
        TSupplyCase{"NoTimingOneReadOut", "timing=none,chips=2", "w e w s r s r w e w s",
                    "w ! FFFFFF 12/24 1E9307 FF/E1 w ! FFFFFF "},
        TSupplyCase{"RealTimingOnTheClockAndOneRead", "isp=ATmega16,chips=3",
                    "e +1000 s s e s +299 s +1 s e e s",
                    "FFFFFF 1E9403 FFFFFF FFFFFF 1E9403 FFFFFF "}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST(SimGang, OneProgrammerAloneRefusesSeveral) {
  EXPECT_EQ(TSimProgrammer::FromConfig(ParseSimConfig("programmers=2").Value()).Error().FText,
            "programmers=2 is not available here: this program drives one programmer");
}

// Each programmer of a first run writes its own flash byte 0; what a second run
// finds there per programmer, or the error after "<path>: ".
struct TGangStateCase {
  const char* FName;
  std::uint32_t FSaved;  // programmers of the first run; one writes the old layout
  std::uint32_t FAsked;
  const char* FFound;
};
void PrintTo(const TGangStateCase& c, std::ostream* os) {
  *os << c.FName;
}

class SimGangStateTest : public ::testing::TestWithParam<TGangStateCase> {};

TEST_P(SimGangStateTest, KeepsEveryProgrammer) {
  test::TTempDir dir;
  TSimConfig config = NoTiming();
  config.FStatePath = dir / "s.qvs";
  config.FProgrammers = GetParam().FSaved;
  auto first = TSimGang::FromConfig(config);
  TRecordingHost host;
  for (const TSimGangMember& m : first->Programmers())
    SendChunks(*m.FProgrammer, host, kIsp, 3, {static_cast<std::uint8_t>(0x20 + m.FNumber)}, 58, 1,
               32);
  ASSERT_TRUE(first->SaveState());
  first->ReleaseState();
  config.FProgrammers = GetParam().FAsked;
  auto second = TSimGang::FromConfig(config);
  std::string found = second ? "" : second.Error().FText.substr(config.FStatePath.size() + 2);
  for (std::size_t i = 0; second && i < second->Programmers().size(); ++i)
    found += std::to_string(second->Programmers()[i].FProgrammer->Avr().Flash()[0]) + " ";
  EXPECT_EQ(found, GetParam().FFound);
}

INSTANTIATE_TEST_SUITE_P(
    State, SimGangStateTest,
    ::testing::Values(TGangStateCase{"RoundTrip", 3, 3, "33 34 35 "},
                      TGangStateCase{"OldFileIsProgrammerOne", 1, 3, "33 255 255 "},
                      TGangStateCase{"MoreProgrammersStartFresh", 2, 4, "33 34 255 255 "},
                      TGangStateCase{
                          "FewerProgrammersRefused", 3, 2,
                          "simulator state file holds 3 programmers, more than programmers=2; give "
                          "programmers=3 or another state file"}),
    [](const auto& info) { return std::string(info.param.FName); });

}  // namespace
}  // namespace quenvar::simtest
