// The window model on its own: initial states, menus, gauge limits, change events.
#include <gtest/gtest.h>

#include "quenvar/presenter/window_model.h"

namespace quenvar {
namespace {

TEST(WindowModel, InitialStatesOfTheWindow) {
  TWindowModel w;
  using enum TControl;
  struct Case {
    TControl Control;
    bool Enabled;
  };
  const Case cases[] = {
      {bProg, false},        {bVerify, false},   {bRead, false},      {bErase, false},
      {bDetectDevice, true}, {bWriteFuse, true}, {bprogeeprom, true}, {breadeeprom, true},
      {nsave, false},        {nUndo, false},     {nRedo, false},      {nprogflash, false},
      {nverifyflash, false}, {nreadflash, true}, {nErase, true},      {nopen, true},
      {FuseList, true},
  };
  for (const Case& c : cases) EXPECT_EQ(w.Enabled(c.Control), c.Enabled) << ControlName(c.Control);
  EXPECT_TRUE(w.MainWindowEnabled());
  EXPECT_FALSE(w.Progress().Shown);
  EXPECT_EQ(w.Control(nAVRISP).Caption, "AVR (автоопределение)");
  EXPECT_EQ(ControlInfo(N24AA512).Parent, nSerialEeprom);
}

TEST(WindowModel, ReachableNeedsEveryEnclosingMenuAndTheWindow) {
  TWindowModel w;
  using enum TControl;
  EXPECT_TRUE(w.Reachable(N24AA01));
  w.SetEnabled(nDevice, false);
  EXPECT_FALSE(w.Reachable(N24AA01));
  EXPECT_FALSE(w.Reachable(nAVRISP));
  EXPECT_TRUE(w.Reachable(bDetectDevice));
  w.SetEnabled(nDevice, true);
  w.SetEnabled(nSerialEeprom, false);
  EXPECT_FALSE(w.Reachable(N24AA01)) << "two menus up";
  EXPECT_TRUE(w.Reachable(nAVRISP));
  w.SetMainWindowEnabled(false);
  EXPECT_FALSE(w.Reachable(bDetectDevice));
}

TEST(WindowModel, GaugeStaysWithinItsMaximum) {
  TWindowModel w;
  struct Step {
    std::int64_t Max;
    std::int64_t Position;
    std::int64_t Shown;
  };
  const Step steps[] = {{100, 50, 50}, {100, 150, 100}, {40, 40, 40}, {0, 10, 0}, {10, -5, 0}};
  for (const Step& s : steps) {
    w.SetGaugeMax(s.Max);
    w.SetGaugePosition(s.Position);
    EXPECT_EQ(w.Progress().GaugePosition, s.Shown) << s.Max << " " << s.Position;
  }
  w.SetGaugeMax(100);
  w.SetGaugePosition(80);
  w.SetGaugeMax(30);
  EXPECT_EQ(w.Progress().GaugePosition, 30);
}

TEST(WindowModel, EveryChangeIsReported) {
  TWindowModel w;
  int changes = 0;
  w.OnModelChanged = [&] { ++changes; };
  w.AddLine("a");
  w.SetEnabled(TControl::bProg, true);
  w.SetEnabled(TControl::bProg, true);  // no change
  w.SetFuseList({TFuseItem{"x", false, true}});
  w.SetFuseChecked(0, true);
  w.SetFuseChecked(5, true);  // out of range: ignored
  w.SetStatusPanel(0, "p");
  w.SetStatusPanel(7, "q");  // no such panel
  EXPECT_EQ(changes, 5);
  EXPECT_EQ(w.StatusPanel(7), "");
  EXPECT_TRUE(w.FuseList()[0].Checked);
}

}  // namespace
}  // namespace quenvar
