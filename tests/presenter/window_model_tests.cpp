// The window model on its own: initial states, menus, gauge limits, change events.
#include <gtest/gtest.h>

#include "quenvar/presenter/window_model.h"

namespace quenvar {
namespace {

TEST(WindowModel, InitialStatesOfTheWindow) {
  TWindowModel w;
  using enum TControl;
  struct TCase {
    TControl FControl;
    bool FEnabled;
  };
  const TCase cases[] = {
      {bProg, false},        {bVerify, false},   {bRead, false},      {bErase, false},
      {bDetectDevice, true}, {bWriteFuse, true}, {bprogeeprom, true}, {breadeeprom, true},
      {nsave, false},        {nUndo, false},     {nRedo, false},      {nprogflash, false},
      {nverifyflash, false}, {nreadflash, true}, {nErase, true},      {nopen, true},
      {FuseList, true},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(w.Enabled(c.FControl), c.FEnabled) << ControlName(c.FControl);
  EXPECT_TRUE(w.MainWindowEnabled());
  EXPECT_FALSE(w.Progress().FShown);
  EXPECT_EQ(w.Control(nAVRISP).FCaption, "AVR (автоопределение)");
  EXPECT_EQ(ControlInfo(N24AA512).FParent, nSerialEeprom);
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
  struct TStep {
    std::int64_t FMax;
    std::int64_t FPosition;
    std::int64_t FShown;
  };
  const TStep steps[] = {{100, 50, 50}, {100, 150, 100}, {40, 40, 40}, {0, 10, 0}, {10, -5, 0}};
  for (const TStep& s : steps) {
    w.SetGaugeMax(s.FMax);
    w.SetGaugePosition(s.FPosition);
    EXPECT_EQ(w.Progress().FGaugePosition, s.FShown) << s.FMax << " " << s.FPosition;
  }
  w.SetGaugeMax(100);
  w.SetGaugePosition(80);
  w.SetGaugeMax(30);
  EXPECT_EQ(w.Progress().FGaugePosition, 30);
}

TEST(WindowModel, EveryChangeIsReported) {
  TWindowModel w;
  int changes = 0;
  w.FOnModelChanged = [&] { ++changes; };
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
  EXPECT_TRUE(w.FuseList()[0].FChecked);
}

}  // namespace
}  // namespace quenvar
