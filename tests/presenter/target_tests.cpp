// Target selection: the 24xx table, the ISP connector, restoring and storing
// the choice, and the fuse list toggle.
#include <stdexcept>
#include <string>
#include <vector>

#include "golden_tables.h"
#include "presenter_fixture.h"

namespace quenvar::test {
namespace {

class TargetTest : public PresenterTest {};

// The control of a name the tables below write out.
TControl Named(std::string_view name) {
  const std::optional<TControl> control = FindControl(name);
  if (!control) throw std::invalid_argument("no control " + std::string(name));
  return *control;
}

// The reviewed 24xx table, in menu order.
const std::vector<TGoldenEepromType>& Rows() {
  return GoldenEepromTypes();
}

TEST_F(TargetTest, EverySerialEepromEntrySelectsItsRow) {
  FBuffer.FData = Ramp(8);
  Connect();
  ASSERT_EQ(Rows().size(), kEepromTypeCount);
  for (std::size_t i = 0; i < Rows().size(); ++i) {
    const TGoldenEepromType& row = Rows()[i];
    SCOPED_TRACE(row.FMenu);
    FPresenter.Window().AddLine("old line");
    ASSERT_TRUE(FPresenter.Click(Named(row.FMenu)));
    const TWindowModel& w = FPresenter.Window();
    EXPECT_EQ(w.Device(), row.FDevice);
    EXPECT_EQ(w.CodeSize(), row.FSize);
    EXPECT_EQ(w.Control(Named(row.FMenu)).FCaption, row.FCaption);
    EXPECT_EQ(FDriver.EepromSizeCodeValue(), row.FCode);
    EXPECT_EQ(FDriver.EepromPageSizeValue(), row.FPage);
    EXPECT_TRUE(FDriver.SocketModeValue());
    EXPECT_FALSE(FDriver.IspModeValue());
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(w.AutoDevice(), "");
    EXPECT_EQ(FPresenter.LastDeviceIndex(), static_cast<int>(i));
    for (const TGoldenEepromType& other : Rows())
      EXPECT_EQ(w.Checked(Named(other.FMenu)), &other == &row) << other.FMenu;
    EXPECT_FALSE(w.Checked(TControl::nAVRISP));
    using enum TControl;
    for (TControl off : {nprogeeprom, nreadeeprom, bprogeeprom, breadeeprom, nWritefuse, bWriteFuse,
                         bDetectDevice, nDetectDevice})
      EXPECT_FALSE(w.Enabled(off)) << ControlName(off);
    EXPECT_TRUE(w.Enabled(TControl::bErase));
    EXPECT_TRUE(w.Enabled(TControl::nErase));
  }
}

TEST_F(TargetTest, TheNamedHandlersMatchTheMenuOrder) {
  using H = void (TMainPresenter::*)();
  const H handlers[] = {
      &TMainPresenter::N24AA00Click,  &TMainPresenter::N24AA01Click,
      &TMainPresenter::N24C01CClick,  &TMainPresenter::N24AA02Click,
      &TMainPresenter::N24C02CClick,  &TMainPresenter::N24C04AClick,
      &TMainPresenter::N24AA04Click,  &TMainPresenter::N24AA08Click,
      &TMainPresenter::N24AA16Click,  &TMainPresenter::N24aa32Click,
      &TMainPresenter::N24AA64Click,  &TMainPresenter::N24AA128Click,
      &TMainPresenter::n24AA256Click, &TMainPresenter::N24AA512Click,
  };
  ASSERT_EQ(std::size(handlers), Rows().size());
  // A range loop: GCC 12 at -O1 warns of an uninitialised index in the
  // indexed form of this loop over member pointers.
  auto row = Rows().begin();
  for (const H handler : handlers) {
    (FPresenter.*handler)();
    EXPECT_TRUE(FPresenter.Window().Checked(Named(row->FMenu))) << row->FMenu;
    EXPECT_EQ(FPresenter.Window().Device(), row->FDevice);
    ++row;
  }
}

TEST_F(TargetTest, IspTargetKeepsTheSizeTextAndEnablesDetection) {
  FPresenter.N24AA128Click();
  FPresenter.Window().AddLine("x");
  FPresenter.nAVRISPClick();
  const TWindowModel& w = FPresenter.Window();
  EXPECT_EQ(w.Device(), "AVR ISP (автоопределение)");
  EXPECT_EQ(w.CodeSize(), "16384");
  EXPECT_TRUE(FDriver.IspModeValue());
  EXPECT_FALSE(FDriver.SocketModeValue());
  EXPECT_TRUE(w.Checked(TControl::nAVRISP));
  EXPECT_FALSE(w.Checked(TControl::N24AA128));
  EXPECT_TRUE(w.Enabled(TControl::bDetectDevice));
  EXPECT_TRUE(w.Enabled(TControl::nDetectDevice));
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(FPresenter.LastDeviceIndex(), 14);
}

TEST_F(TargetTest, EepromCommandsOfTheIspTargetDependOnTheBuffer) {
  struct TCase {
    std::size_t FBytes;
    bool FProgram;
  };
  for (const TCase& c : {TCase{0, false}, TCase{1, true}}) {
    FBuffer.FData = Ramp(c.FBytes);
    FPresenter.N24AA00Click();
    FPresenter.nAVRISPClick();
    EXPECT_TRUE(FPresenter.Window().Enabled(TControl::nreadeeprom));
    EXPECT_TRUE(FPresenter.Window().Enabled(TControl::breadeeprom));
    EXPECT_EQ(FPresenter.Window().Enabled(TControl::nprogeeprom), c.FProgram);
    EXPECT_EQ(FPresenter.Window().Enabled(TControl::bprogeeprom), c.FProgram);
  }
}

TEST_F(TargetTest, ChangingTheTargetForgetsTheChip) {
  FPresenter.nAVRISPClick();
  Connect();
  FPresenter.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x93, 0x07});
  ASSERT_NE(FDriver.IdentifiedChipValue(), nullptr);
  ASSERT_EQ(FPresenter.Window().FuseList().size(), 22u);
  FPresenter.nAVRISPClick();
  EXPECT_EQ(FDriver.IdentifiedChipValue(), nullptr);
  EXPECT_TRUE(FPresenter.Window().FuseList().empty());
  EXPECT_EQ(FPresenter.Window().AutoDevice(), "");
  EXPECT_EQ(FPresenter.Window().CodeSize(), "8192");
}

TEST_F(TargetTest, RestoringTheLastDevice) {
  struct TCase {
    int FStored;
    const char* FChecked;
    const char* FDevice;
  };
  const TCase cases[] = {
      {14, "nAVRISP", "AVR ISP (автоопределение)"}, {5, "N24C04a", "24C04A"},
      {20, "nAVRISP", "AVR ISP (автоопределение)"}, {0, "N24AA00", "24AA00 / 24(L)C00"},
      {13, "N24AA512", "24AA512 / 24(L/F)C512"},    {-1, "nAVRISP", "AVR ISP (автоопределение)"},
      {15, "nAVRISP", "AVR ISP (автоопределение)"},
  };
  for (const TCase& c : cases) {
    FPresenter.RestoreTarget(c.FStored);
    EXPECT_TRUE(FPresenter.Window().Checked(Named(c.FChecked))) << c.FStored;
    EXPECT_EQ(FPresenter.Window().Device(), c.FDevice) << c.FStored;
    const int expected = std::string(c.FChecked) == "nAVRISP" ? 14 : c.FStored;
    EXPECT_EQ(FPresenter.LastDeviceIndex(), expected);
  }
}

TEST_F(TargetTest, LastDeviceWithNothingOrBothChecked) {
  EXPECT_EQ(FPresenter.LastDeviceIndex(), 0) << "the value a first start stores";
  FPresenter.N24AA512Click();
  FPresenter.Window().SetChecked(TControl::nAVRISP, true);
  EXPECT_EQ(FPresenter.LastDeviceIndex(), 14);
}

TEST_F(TargetTest, TogglingAFuseBoxEnablesTheWriteAndItsMenuTwinOnlyForIsp) {
  FPresenter.nAVRISPClick();
  Connect();
  FPresenter.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x93, 0x07});
  Reply({'r', 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
  EXPECT_FALSE(FPresenter.Window().Enabled(TControl::bWriteFuse));
  FPresenter.ToggleFuse(5);  // "Lock bit 1"
  EXPECT_TRUE(FPresenter.Window().FuseList()[5].FChecked);
  EXPECT_TRUE(FPresenter.Window().Enabled(TControl::bWriteFuse));
  FPresenter.ToggleFuse(8);  // "SPIEN" is greyed
  EXPECT_FALSE(FPresenter.Window().FuseList()[8].FChecked);
  FPresenter.ToggleFuse(13);  // "BOOTRST"
  // The menu twin is enabled with the button and starts the same write.
  ASSERT_TRUE(FPresenter.Click(TControl::nWritefuse));
  const TBytes& report = Sent().back();
  EXPECT_EQ(TBytes(report.begin(), report.begin() + 13),
            (TBytes{0, 5, 7, 3, 0xE0, 0x00, 0xFE, 0xA8, 0x00, 0xFE, 0xA0, 0x00, 0xFF}));
  ReplyChar('f');
  EXPECT_EQ(Log().back().rfind("Dauer: ", 0), 0u);

  // The socket target: a toggle leaves the write disabled.
  FPresenter.N24AA02Click();
  FPresenter.Window().SetFuseList({TFuseItem{"Lock bit 1", false, true}});
  FPresenter.ToggleFuse(0);
  EXPECT_FALSE(FPresenter.Window().Enabled(TControl::bWriteFuse));
  EXPECT_FALSE(FPresenter.Window().Enabled(TControl::nWritefuse));
}

TEST_F(TargetTest, TheFuseWriteMenuEntryStartsTheFuseWrite) {
  FPresenter.nAVRISPClick();
  Connect();
  FPresenter.Window().SetEnabled(TControl::nWritefuse, true);
  EXPECT_TRUE(FPresenter.Click(TControl::nWritefuse));
  ASSERT_EQ(Sent().size(), 1u);
  // No chip identified yet: command 7 with no records, on the ISP target.
  EXPECT_EQ(TBytes(Sent()[0].begin(), Sent()[0].begin() + 4), (TBytes{0, 5, 7, 0}));
  // Menus run nothing; a name that is no control finds none.
  EXPECT_FALSE(FPresenter.Click(TControl::nChose));
  EXPECT_FALSE(FindControl("nosuchcontrol"));
}

}  // namespace
}  // namespace quenvar::test
