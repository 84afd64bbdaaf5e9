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
  Buffer.Data = Ramp(8);
  Connect();
  ASSERT_EQ(Rows().size(), kEepromTypeCount);
  for (std::size_t i = 0; i < Rows().size(); ++i) {
    const TGoldenEepromType& row = Rows()[i];
    SCOPED_TRACE(row.Menu);
    Presenter.Window().AddLine("old line");
    ASSERT_TRUE(Presenter.Click(Named(row.Menu)));
    const TWindowModel& w = Presenter.Window();
    EXPECT_EQ(w.Device(), row.Device);
    EXPECT_EQ(w.CodeSize(), row.Size);
    EXPECT_EQ(w.Control(Named(row.Menu)).Caption, row.Caption);
    EXPECT_EQ(Driver.EepromSizeCodeValue(), row.Code);
    EXPECT_EQ(Driver.EepromPageSizeValue(), row.Page);
    EXPECT_TRUE(Driver.SocketModeValue());
    EXPECT_FALSE(Driver.IspModeValue());
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(w.AutoDevice(), "");
    EXPECT_EQ(Presenter.LastDeviceIndex(), static_cast<int>(i));
    for (const TGoldenEepromType& other : Rows())
      EXPECT_EQ(w.Checked(Named(other.Menu)), &other == &row) << other.Menu;
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
    (Presenter.*handler)();
    EXPECT_TRUE(Presenter.Window().Checked(Named(row->Menu))) << row->Menu;
    EXPECT_EQ(Presenter.Window().Device(), row->Device);
    ++row;
  }
}

TEST_F(TargetTest, IspTargetKeepsTheSizeTextAndEnablesDetection) {
  Presenter.N24AA128Click();
  Presenter.Window().AddLine("x");
  Presenter.nAVRISPClick();
  const TWindowModel& w = Presenter.Window();
  EXPECT_EQ(w.Device(), "AVR ISP (автоопределение)");
  EXPECT_EQ(w.CodeSize(), "16384");
  EXPECT_TRUE(Driver.IspModeValue());
  EXPECT_FALSE(Driver.SocketModeValue());
  EXPECT_TRUE(w.Checked(TControl::nAVRISP));
  EXPECT_FALSE(w.Checked(TControl::N24AA128));
  EXPECT_TRUE(w.Enabled(TControl::bDetectDevice));
  EXPECT_TRUE(w.Enabled(TControl::nDetectDevice));
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(Presenter.LastDeviceIndex(), 14);
}

TEST_F(TargetTest, EepromCommandsOfTheIspTargetDependOnTheBuffer) {
  struct Case {
    std::size_t Bytes;
    bool Program;
  };
  for (const Case& c : {Case{0, false}, Case{1, true}}) {
    Buffer.Data = Ramp(c.Bytes);
    Presenter.N24AA00Click();
    Presenter.nAVRISPClick();
    EXPECT_TRUE(Presenter.Window().Enabled(TControl::nreadeeprom));
    EXPECT_TRUE(Presenter.Window().Enabled(TControl::breadeeprom));
    EXPECT_EQ(Presenter.Window().Enabled(TControl::nprogeeprom), c.Program);
    EXPECT_EQ(Presenter.Window().Enabled(TControl::bprogeeprom), c.Program);
  }
}

TEST_F(TargetTest, ChangingTheTargetForgetsTheChip) {
  Presenter.nAVRISPClick();
  Connect();
  Presenter.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x93, 0x07});
  ASSERT_NE(Driver.IdentifiedChipValue(), nullptr);
  ASSERT_EQ(Presenter.Window().FuseList().size(), 22u);
  Presenter.nAVRISPClick();
  EXPECT_EQ(Driver.IdentifiedChipValue(), nullptr);
  EXPECT_TRUE(Presenter.Window().FuseList().empty());
  EXPECT_EQ(Presenter.Window().AutoDevice(), "");
  EXPECT_EQ(Presenter.Window().CodeSize(), "8192");
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
    Presenter.RestoreTarget(c.Stored);
    EXPECT_TRUE(Presenter.Window().Checked(Named(c.Checked))) << c.Stored;
    EXPECT_EQ(Presenter.Window().Device(), c.Device) << c.Stored;
    const int expected = std::string(c.Checked) == "nAVRISP" ? 14 : c.Stored;
    EXPECT_EQ(Presenter.LastDeviceIndex(), expected);
  }
}

TEST_F(TargetTest, LastDeviceWithNothingOrBothChecked) {
  EXPECT_EQ(Presenter.LastDeviceIndex(), 0) << "the value a first start stores";
  Presenter.N24AA512Click();
  Presenter.Window().SetChecked(TControl::nAVRISP, true);
  EXPECT_EQ(Presenter.LastDeviceIndex(), 14);
}

TEST_F(TargetTest, TogglingAFuseBoxEnablesTheWriteAndItsMenuTwinOnlyForIsp) {
  Presenter.nAVRISPClick();
  Connect();
  Presenter.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x93, 0x07});
  Reply({'r', 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
  EXPECT_FALSE(Presenter.Window().Enabled(TControl::bWriteFuse));
  Presenter.ToggleFuse(5);  // "Lock bit 1"
  EXPECT_TRUE(Presenter.Window().FuseList()[5].Checked);
  EXPECT_TRUE(Presenter.Window().Enabled(TControl::bWriteFuse));
  Presenter.ToggleFuse(8);  // "SPIEN" is greyed
  EXPECT_FALSE(Presenter.Window().FuseList()[8].Checked);
  Presenter.ToggleFuse(13);  // "BOOTRST"
  // The menu twin is enabled with the button and starts the same write.
  ASSERT_TRUE(Presenter.Click(TControl::nWritefuse));
  const TBytes& report = Sent().back();
  EXPECT_EQ(TBytes(report.begin(), report.begin() + 13),
            (TBytes{0, 5, 7, 3, 0xE0, 0x00, 0xFE, 0xA8, 0x00, 0xFE, 0xA0, 0x00, 0xFF}));
  ReplyChar('f');
  EXPECT_EQ(Log().back().rfind("Dauer: ", 0), 0u);

  // The socket target: a toggle leaves the write disabled.
  Presenter.N24AA02Click();
  Presenter.Window().SetFuseList({TFuseItem{"Lock bit 1", false, true}});
  Presenter.ToggleFuse(0);
  EXPECT_FALSE(Presenter.Window().Enabled(TControl::bWriteFuse));
  EXPECT_FALSE(Presenter.Window().Enabled(TControl::nWritefuse));
}

TEST_F(TargetTest, TheFuseWriteMenuEntryStartsTheFuseWrite) {
  Presenter.nAVRISPClick();
  Connect();
  Presenter.Window().SetEnabled(TControl::nWritefuse, true);
  EXPECT_TRUE(Presenter.Click(TControl::nWritefuse));
  ASSERT_EQ(Sent().size(), 1u);
  // No chip identified yet: command 7 with no records, on the ISP target.
  EXPECT_EQ(TBytes(Sent()[0].begin(), Sent()[0].begin() + 4), (TBytes{0, 5, 7, 0}));
  // Menus run nothing; a name that is no control finds none.
  EXPECT_FALSE(Presenter.Click(TControl::nChose));
  EXPECT_FALSE(FindControl("nosuchcontrol"));
}

}  // namespace
}  // namespace quenvar::test
