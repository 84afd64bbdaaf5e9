// The one table of the window's controls, which the window model and the Qt
// window are both built from.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "golden_tables.h"
#include "quenvar/presenter/controls.h"

namespace quenvar::test {
namespace {

TEST(ControlTable, EveryControlOnceUnderAMenuAboveIt) {
  std::set<std::string_view> names;
  for (std::size_t i = 0; i < kControlCount; ++i) {
    const TControlInfo& info = ControlTable()[i];
    SCOPED_TRACE(std::string(info.FName));
    EXPECT_EQ(static_cast<std::size_t>(info.FControl), i);
    EXPECT_TRUE(names.insert(info.FName).second) << "a name twice";
    EXPECT_EQ(FindControl(info.FName), info.FControl);
    // The Qt window builds in table order: a menu comes before what it holds,
    // so no parent chain can go round in a circle.
    if (info.FParent) {
      EXPECT_LT(*info.FParent, info.FControl);
      EXPECT_EQ(ControlInfo(*info.FParent).FKind, TControlKind::Menu);
    }
  }
  EXPECT_FALSE(FindControl("nosuchcontrol"));
  EXPECT_FALSE(FindControl(""));
}

TEST(ControlTable, MenuBarShortcutsAndSeparators) {
  std::string bar;
  std::string shortcuts;
  std::string separators;
  for (const TControlInfo& info : ControlTable()) {
    const std::string name(info.FName);
    if (!info.FParent && info.FKind != TControlKind::Button && info.FKind != TControlKind::List)
      bar += name + " ";
    if (!info.FShortcut.empty()) shortcuts += name + "=" + std::string(info.FShortcut) + " ";
    if (info.FSeparatorBefore) separators += name + " ";
  }
  EXPECT_EQ(bar, "nFile nBuffer nDevice nChose nSetup nInfo ");
  EXPECT_EQ(shortcuts, "nopen=Ctrl+O nsave=Ctrl+S nExit=Ctrl+X nUndo=Ctrl+U nRedo=Ctrl+R ");
  EXPECT_EQ(separators, "nExit updatebuffer nprogeeprom nDetectDevice Sprache1 ");
}

TEST(ControlTable, TheSocketEntriesAreThe24xxTableInMenuOrder) {
  const auto& rows = GoldenEepromTypes();
  ASSERT_EQ(rows.size(), kEepromTypeCount);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TControlInfo& info = ControlInfo(EepromEntry(i));
    EXPECT_EQ(info.FName, rows[i].FMenu);
    EXPECT_EQ(info.FFixedCaption, rows[i].FCaption);
    EXPECT_EQ(info.FParent, TControl::nSerialEeprom);
    EXPECT_EQ(info.FKind, TControlKind::Radio);
    EXPECT_EQ(EepromIndexOf(info.FControl), i);
  }
  for (TControl other : {TControl::nSerialEeprom, TControl::nisp, TControl::nAVRISP})
    EXPECT_FALSE(EepromIndexOf(other)) << ControlName(other);
}

}  // namespace
}  // namespace quenvar::test
