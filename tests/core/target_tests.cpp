// Target selection: the 24xx table, the ISP connector, restoring and storing
// the choice, and the fuse list toggle.
#include <string>
#include <vector>

#include "session_fakes.h"

namespace quenvar::test {
namespace {

class TargetTest : public SessionTest {};

struct EepromRow {
  const char* Menu;
  const char* Caption;
  const char* Device;
  const char* Size;
  std::uint16_t Code;
  std::uint16_t Page;
};

const EepromRow kRows[] = {
    {"N24AA00", "24AA00 / 24(L)C00", "24AA00 / 24(L)C00", "16", 0, 1},
    {"N24AA01", "24AA01 / 24(L)C01B", "24AA01 / 24(L)C01B", "128", 1, 8},
    {"N24C01C", "24C01C", "24C01C", "128", 1, 16},
    {"N24AA02", "24AA02 / 24(L)C02B", "24AA02 / 24(L)C02B", "256", 2, 8},
    {"N24C02C", "24C02C", "24C02C", "256", 2, 16},
    {"N24C04a", "24C04A", "24C04A", "512", 4, 8},
    {"N24AA04", "24AA04 / 24LC04B", "24AA04 / 24(L)C04B", "512", 4, 16},
    {"N24AA08", "24AA08 / 24(L)C08B", "24AA08 / 24(L)C08B", "1024", 8, 16},
    {"N24AA16", "24AA16 / 24(L)C16B", "24AA16 / 24(L)C16B", "2048", 16, 16},
    {"N24aa32", "24AA32A / 24LC32A", "24AA32A / 24LC32A", "4096", 32, 32},
    {"N24AA64", "24AA64 / 24(L)C64", "24AA64 / 24(L)C64", "8192", 64, 32},
    {"N24AA128", "24AA128 / 24(L/F)C128", "24AA128/24(L/F)C128", "16384", 128, 64},
    {"n24AA256", "24AA256 / 24(L/F)C256", "24AA256 / 24(L/F)C256", "32768", 129, 64},
    {"N24AA512", "24AA512 / 24(L/F)C512", "24AA512 / 24(L/F)C512", "65536", 130, 128},
};

TEST_F(TargetTest, EverySerialEepromEntrySelectsItsRow) {
  Buffer.Data = Ramp(8);
  Connect();
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    const EepromRow& row = kRows[i];
    SCOPED_TRACE(row.Menu);
    Session.Window().AddLine("old line");
    ASSERT_TRUE(Session.Click(row.Menu));
    const TWindowModel& w = Session.Window();
    EXPECT_EQ(w.Device(), row.Device);
    EXPECT_EQ(w.CodeSize(), row.Size);
    EXPECT_EQ(w.FindControl(row.Menu)->Caption, row.Caption);
    EXPECT_EQ(Session.EepromSizeCodeValue(), row.Code);
    EXPECT_EQ(Session.EepromPageSizeValue(), row.Page);
    EXPECT_TRUE(Session.SocketModeValue());
    EXPECT_FALSE(Session.IspModeValue());
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(w.AutoDevice(), "");
    EXPECT_EQ(Session.LastDeviceIndex(), static_cast<int>(i));
    for (const EepromRow& other : kRows)
      EXPECT_EQ(w.Checked(other.Menu), &other == &row) << other.Menu;
    EXPECT_FALSE(w.Checked("nAVRISP"));
    for (const char* off : {"nprogeeprom", "nreadeeprom", "bprogeeprom", "breadeeprom",
                            "nWritefuse", "bWriteFuse", "bDetectDevice", "nDetectDevice"})
      EXPECT_FALSE(w.Enabled(off)) << off;
    EXPECT_TRUE(w.Enabled("bErase"));
    EXPECT_TRUE(w.Enabled("nErase"));
  }
}

TEST_F(TargetTest, TheNamedHandlersMatchTheMenuOrder) {
  using H = void (TProgrammerSession::*)();
  const H handlers[] = {
      &TProgrammerSession::N24AA00Click,  &TProgrammerSession::N24AA01Click,
      &TProgrammerSession::N24C01CClick,  &TProgrammerSession::N24AA02Click,
      &TProgrammerSession::N24C02CClick,  &TProgrammerSession::N24C04AClick,
      &TProgrammerSession::N24AA04Click,  &TProgrammerSession::N24AA08Click,
      &TProgrammerSession::N24AA16Click,  &TProgrammerSession::N24aa32Click,
      &TProgrammerSession::N24AA64Click,  &TProgrammerSession::N24AA128Click,
      &TProgrammerSession::n24AA256Click, &TProgrammerSession::N24AA512Click,
  };
  for (std::size_t i = 0; i < std::size(handlers); ++i) {
    (Session.*handlers[i])();
    EXPECT_TRUE(Session.Window().Checked(kRows[i].Menu)) << kRows[i].Menu;
    EXPECT_EQ(Session.Window().Device(), kRows[i].Device);
  }
}

TEST_F(TargetTest, IspTargetKeepsTheSizeTextAndEnablesDetection) {
  Session.N24AA128Click();
  Session.Window().AddLine("x");
  Session.nAVRISPClick();
  const TWindowModel& w = Session.Window();
  EXPECT_EQ(w.Device(), "AVR ISP (автоопределение)");
  EXPECT_EQ(w.CodeSize(), "16384");
  EXPECT_TRUE(Session.IspModeValue());
  EXPECT_FALSE(Session.SocketModeValue());
  EXPECT_TRUE(w.Checked("nAVRISP"));
  EXPECT_FALSE(w.Checked("N24AA128"));
  EXPECT_TRUE(w.Enabled("bDetectDevice"));
  EXPECT_TRUE(w.Enabled("nDetectDevice"));
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(Session.LastDeviceIndex(), 14);
}

TEST_F(TargetTest, EepromCommandsOfTheIspTargetDependOnTheBuffer) {
  struct Case {
    std::size_t Bytes;
    bool Program;
  };
  for (const Case& c : {Case{0, false}, Case{1, true}}) {
    Buffer.Data = Ramp(c.Bytes);
    Session.N24AA00Click();
    Session.nAVRISPClick();
    EXPECT_TRUE(Session.Window().Enabled("nreadeeprom"));
    EXPECT_TRUE(Session.Window().Enabled("breadeeprom"));
    EXPECT_EQ(Session.Window().Enabled("nprogeeprom"), c.Program);
    EXPECT_EQ(Session.Window().Enabled("bprogeeprom"), c.Program);
  }
}

TEST_F(TargetTest, ChangingTheTargetForgetsTheChip) {
  Session.nAVRISPClick();
  Connect();
  Session.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x93, 0x07});
  ASSERT_NE(Session.IdentifiedChipValue(), nullptr);
  ASSERT_EQ(Session.Window().FuseList().size(), 22u);
  Session.nAVRISPClick();
  EXPECT_EQ(Session.IdentifiedChipValue(), nullptr);
  EXPECT_TRUE(Session.Window().FuseList().empty());
  EXPECT_EQ(Session.Window().AutoDevice(), "");
  EXPECT_EQ(Session.Window().CodeSize(), "8192");
}

TEST_F(TargetTest, RestoringTheLastDevice) {
  struct Case {
    int Stored;
    const char* Checked;
    const char* Device;
  };
  const Case cases[] = {
      {14, "nAVRISP", "AVR ISP (автоопределение)"}, {5, "N24C04a", "24C04A"},
      {20, "nAVRISP", "AVR ISP (автоопределение)"}, {0, "N24AA00", "24AA00 / 24(L)C00"},
      {13, "N24AA512", "24AA512 / 24(L/F)C512"},    {-1, "nAVRISP", "AVR ISP (автоопределение)"},
      {15, "nAVRISP", "AVR ISP (автоопределение)"},
  };
  for (const Case& c : cases) {
    Session.RestoreTarget(c.Stored);
    EXPECT_TRUE(Session.Window().Checked(c.Checked)) << c.Stored;
    EXPECT_EQ(Session.Window().Device(), c.Device) << c.Stored;
    const int expected = std::string(c.Checked) == "nAVRISP" ? 14 : c.Stored;
    EXPECT_EQ(Session.LastDeviceIndex(), expected);
  }
}

TEST_F(TargetTest, LastDeviceWithNothingOrBothChecked) {
  EXPECT_EQ(Session.LastDeviceIndex(), 0) << "the value a first start stores";
  Session.N24AA512Click();
  Session.Window().SetChecked("nAVRISP", true);
  EXPECT_EQ(Session.LastDeviceIndex(), 14);
}

TEST_F(TargetTest, TogglingAFuseBoxEnablesTheWriteAndItsMenuTwinOnlyForIsp) {
  Session.nAVRISPClick();
  Connect();
  Session.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x93, 0x07});
  Reply({'r', 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
  EXPECT_FALSE(Session.Window().Enabled("bWriteFuse"));
  Session.ToggleFuse(5);  // "Lock bit 1"
  EXPECT_TRUE(Session.Window().FuseList()[5].Checked);
  EXPECT_TRUE(Session.Window().Enabled("bWriteFuse"));
  Session.ToggleFuse(8);  // "SPIEN" is greyed
  EXPECT_FALSE(Session.Window().FuseList()[8].Checked);
  Session.ToggleFuse(13);  // "BOOTRST"
  // The menu twin is enabled with the button and starts the same write.
  ASSERT_TRUE(Session.Click("nWritefuse"));
  const TBytes& report = Sent().back();
  EXPECT_EQ(TBytes(report.begin(), report.begin() + 13),
            (TBytes{0, 5, 7, 3, 0xE0, 0x00, 0xFE, 0xA8, 0x00, 0xFE, 0xA0, 0x00, 0xFF}));
  ReplyChar('f');
  EXPECT_EQ(Log().back().rfind("Dauer: ", 0), 0u);

  // The socket target: a toggle leaves the write disabled.
  Session.N24AA02Click();
  Session.Window().SetFuseList({TFuseItem{"Lock bit 1", false, true}});
  Session.ToggleFuse(0);
  EXPECT_FALSE(Session.Window().Enabled("bWriteFuse"));
  EXPECT_FALSE(Session.Window().Enabled("nWritefuse"));
}

TEST_F(TargetTest, TheFuseWriteMenuEntryStartsTheFuseWrite) {
  Session.nAVRISPClick();
  Connect();
  Session.Window().SetEnabled("nWritefuse", true);
  EXPECT_TRUE(Session.Click("nWritefuse"));
  ASSERT_EQ(Sent().size(), 1u);
  // No chip identified yet: command 7 with no records, on the ISP target.
  EXPECT_EQ(TBytes(Sent()[0].begin(), Sent()[0].begin() + 4), (TBytes{0, 5, 7, 0}));
  EXPECT_FALSE(Session.Click("nosuchcontrol"));
}

}  // namespace
}  // namespace quenvar::test
