// Several programmers, their shared state file, and chips taken out in turn.

#include "quenvar/sim/sim_gang.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "case_name.h"
#include "sim_test_support.h"
#include "temp_dir.h"

namespace quenvar::simtest {
namespace {

struct TCountCase {
  const char* Text;
  std::uint32_t Programmers;
  std::optional<std::uint32_t> Chips;
};
void PrintTo(const TCountCase& c, std::ostream* os) {
  *os << c.Text;
}

class SimCountConfigTest : public ::testing::TestWithParam<TCountCase> {};

TEST_P(SimCountConfigTest, Parses) {
  const auto parsed = ParseSimConfig(GetParam().Text);
  ASSERT_TRUE(parsed) << parsed.Error;
  EXPECT_EQ(parsed.Value->Programmers, GetParam().Programmers);
  EXPECT_EQ(parsed.Value->Chips, GetParam().Chips);
}

INSTANTIATE_TEST_SUITE_P(Config, SimCountConfigTest,
                         ::testing::Values(TCountCase{"", 1, std::nullopt},
                                           TCountCase{"programmers=8", 8, std::nullopt},
                                           TCountCase{" PROGRAMMERS = 04 ,chips=1", 4, 1},
                                           TCountCase{"chips=1000000", 1, 1000000}),
                         [](const auto& info) { return test::CaseName(info.param.Text); });

// Tokens: "s" reads the signature (noted as six hex digits), "w" writes one
// flash byte (noted as its reply codes), "e" ends a chain, "+N" lets N ms pass.
struct TSupplyCase {
  const char* Name;
  const char* Config;
  const char* Script;
  const char* Seen;
};
void PrintTo(const TSupplyCase& c, std::ostream* os) {
  *os << c.Name;
}

class SimChipSupplyTest : public ::testing::TestWithParam<TSupplyCase> {};

TEST_P(SimChipSupplyTest, SwapsChipsInTurn) {
  TSimProgrammer sim(*ParseSimConfig(GetParam().Config).Value);
  auto now = std::chrono::steady_clock::time_point{};
  sim.SetClock([&now] { return now; });
  TRecordingHost host;
  std::istringstream script(GetParam().Script);
  std::string seen;
  for (std::string token; script >> token;) {
    if (token == "e") sim.ChainEnded();
    if (token[0] == '+') now += std::chrono::milliseconds(std::stoi(token.substr(1)));
    if (token == "w") seen += SendChunks(sim, host, kIsp, 3, TBytes{0x12}, 58, 1, 32) + " ";
    if (token != "s") continue;
    host.Clear();
    sim.OnOutputReport(Out(kIsp, 1), host);
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X%02X%02X", host.Reports[0][2], host.Reports[0][3],
                  host.Reports[0][4]);
    seen += std::string(hex) + " ";
  }
  EXPECT_EQ(seen, GetParam().Seen);
}

INSTANTIATE_TEST_SUITE_P(
    Supply, SimChipSupplyTest,
    ::testing::Values(TSupplyCase{"NoSupplyKeepsItsChip", "timing=none", "s e s w",
                                  "1E9307 1E9307 w "},
                      TSupplyCase{"NoTimingOneReadOut", "timing=none,chips=2", "w e w s s w e w s",
                                  "w ! FFFFFF 1E9307 w ! FFFFFF "},
                      TSupplyCase{"RealTimingOnTheClock", "isp=ATmega16,chips=3", "e s +299 s +1 s",
                                  "FFFFFF FFFFFF 1E9403 "},
                      TSupplyCase{"LatePollStillSeesItOut", "chips=2", "e +1000 s s e e s",
                                  "FFFFFF 1E9307 FFFFFF "}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SimChipSupply, FreshChipIsErasedWithFactoryFuses) {
  TSimProgrammer sim(*ParseSimConfig("isp=ATtiny2313,timing=none,chips=2").Value);
  const TSimAvrChip factory(*FindSimAvrModel("ATtiny2313"));
  TRecordingHost host;
  SendChunks(sim, host, kIsp, 3, TBytes{0x12}, 58, 1, 129);
  sim.OnOutputReport(Records(7, {{0xA0, 0x00, 0x24}}), host);
  ASSERT_NE(sim.Avr().LowFuse(), factory.LowFuse());
  sim.ChainEnded();
  sim.OnOutputReport(Out(kIsp, 1), host);
  sim.OnOutputReport(Out(kIsp, 1), host);
  EXPECT_EQ(sim.Avr().Flash(), factory.Flash());
  EXPECT_EQ(sim.Avr().LowFuse(), factory.LowFuse());
}

TEST(SimGang, ProgrammersHaveTheirOwnChips) {
  auto gang = TSimGang::FromConfig(*ParseSimConfig("programmers=3,timing=none,chips=2").Value);
  ASSERT_TRUE(gang) << gang.Error;
  TRecordingHost host;
  for (const TSimGangMember& member : gang.Value->Programmers()) {
    const auto n = static_cast<std::uint8_t>(member.Number);
    SendChunks(*member.Programmer, host, kIsp, 3, TBytes{n}, 58, 1, 32);
  }
  gang.Value->Programmers()[1].Programmer->ChainEnded();
  std::string seen;
  for (const TSimGangMember& member : gang.Value->Programmers()) {
    host.Clear();
    member.Programmer->OnOutputReport(Out(kIsp, 1), host);
    seen += std::to_string(member.Number) + ":" +
            std::to_string(member.Programmer->Avr().Flash()[0]) + "," +
            std::to_string(host.Reports[0][2]) + " ";
  }
  EXPECT_EQ(seen, "1:1,30 2:2,255 3:3,30 ");
  EXPECT_EQ(TSimProgrammer::FromConfig(*ParseSimConfig("programmers=2").Value).Error,
            "programmers=2 is not available here: this program drives one programmer");
}

// The state file of a gang: what each run finds in it, as "<flash[0]> ..." per
// programmer, or the error after "<path>: ".
struct TGangStateCase {
  const char* Name;
  std::uint32_t Saved;  // programmers of the first run; 0: an old single-programmer file
  std::uint32_t Asked;
  const char* Found;
};
void PrintTo(const TGangStateCase& c, std::ostream* os) {
  *os << c.Name;
}

class SimGangStateTest : public ::testing::TestWithParam<TGangStateCase> {};

TEST_P(SimGangStateTest, KeepsEveryProgrammer) {
  test::TTempDir dir;
  const std::string path = dir / "s.qvs";
  TSimConfig config = NoTiming();
  config.StatePath = path;
  const std::uint32_t saved = GetParam().Saved;
  if (saved == 0) {
    TSimAvrChip chip(*FindSimAvrModel("ATmega8"));
    chip.Flash()[0] = 0x21;
    ASSERT_TRUE(SaveSimStateFile(path, chip, TSim24xx(*FindSim24xxModel("24AA256"))));
  } else {
    config.Programmers = saved;
    auto first = TSimGang::FromConfig(config);
    ASSERT_TRUE(first) << first.Error;
    for (const TSimGangMember& member : first.Value->Programmers()) {
      member.Programmer->Avr().Flash()[0] = static_cast<std::uint8_t>(0x20 + member.Number);
    }
    ASSERT_TRUE(first.Value->SaveState());
  }
  config.Programmers = GetParam().Asked;
  auto second = TSimGang::FromConfig(config);
  std::string found = second ? "" : second.Error.substr(path.size() + 2);
  if (second) {
    for (const TSimGangMember& member : second.Value->Programmers()) {
      found += std::to_string(member.Programmer->Avr().Flash()[0]) + " ";
    }
  }
  EXPECT_EQ(found, GetParam().Found);
}

INSTANTIATE_TEST_SUITE_P(
    State, SimGangStateTest,
    ::testing::Values(TGangStateCase{"RoundTrip", 3, 3, "33 34 35 "},
                      TGangStateCase{"OldFileIsProgrammerOne", 0, 3, "33 255 255 "},
                      TGangStateCase{"MoreProgrammersStartFresh", 2, 4, "33 34 255 255 "},
                      TGangStateCase{
                          "FewerProgrammersRefused", 3, 2,
                          "simulator state file holds 3 programmers, more than programmers=2; give "
                          "programmers=3 or another state file"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SimGangStateLayout, OneProgrammerKeepsTheOldLayoutSeveralTheNew) {
  const TSimState one{TSimAvrChip(*FindSimAvrModel("ATtiny13")),
                      TSim24xx(*FindSim24xxModel("24AA00"))};
  const std::vector<TSimState> two{one, one};
  EXPECT_EQ(SerializeSimStates({&one, 1}), SerializeSimState(one.Avr, one.Socket));
  TBytes bytes = SerializeSimStates(two);
  EXPECT_EQ(TBytes(bytes.begin(), bytes.begin() + 9),
            (TBytes{'Q', 'V', 'S', 'I', 'M', 'S', 'T', '2', 2}));
  EXPECT_EQ(DeserializeSimStates(bytes).Value->size(), 2u);
  EXPECT_EQ(DeserializeSimState(bytes).Error, "simulator state file holds 2 programmers, not one");
  bytes[8] = 9;
  EXPECT_EQ(DeserializeSimStates(bytes).Error,
            "simulator state file holds 9 programmers; it can hold 1 to 8");
}

}  // namespace
}  // namespace quenvar::simtest
