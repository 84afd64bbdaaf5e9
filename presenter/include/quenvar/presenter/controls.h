#pragma once
// The controls of the main window: one enumerator per menu, menu entry,
// button and list, named like the control, and one table that says where each
// sits, what kind it is, its shortcut, its state when the window is made and
// its caption. The window model and the Qt window are both built from it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "quenvar/core/eeprom_types.h"

namespace quenvar {

// In the order of the menu bar, then the buttons and the fuse list.
enum class TControl : std::uint8_t {
  nFile,
  nopen,
  nsave,
  nExit,
  nBuffer,
  nUndo,
  nRedo,
  neditbuffer,
  updatebuffer,
  nDevice,
  nsocket,
  nSerialEeprom,
  // The 24xx entries, in the order of the 24xx table.
  N24AA00,
  N24AA01,
  N24C01C,
  N24AA02,
  N24C02C,
  N24C04a,
  N24AA04,
  N24AA08,
  N24AA16,
  N24aa32,
  N24AA64,
  N24AA128,
  n24AA256,
  N24AA512,
  nisp,
  nAVRISP,
  nChose,
  nprogflash,
  nverifyflash,
  nreadflash,
  nErase,
  nprogeeprom,
  nreadeeprom,
  nDetectDevice,
  nWritefuse,
  nSetup,
  nverifyprogramm,
  Sprache1,
  sDeutsch,
  sEnglish,
  sRus,
  nInfo,
  bProg,
  bVerify,
  bRead,
  bErase,
  bDetectDevice,
  bWriteFuse,
  bprogeeprom,
  breadeeprom,
  FuseList,
};

inline constexpr std::size_t kControlCount = static_cast<std::size_t>(TControl::FuseList) + 1;
static_assert(static_cast<std::size_t>(TControl::N24AA512) -
                      static_cast<std::size_t>(TControl::N24AA00) + 1 ==
                  kEepromTypeCount,
              "one menu entry per 24xx type");

enum class TControlKind : std::uint8_t {
  Menu,    // a menu of the menu bar, or a submenu
  Entry,   // a menu entry
  Check,   // a menu entry with a check mark of its own
  Radio,   // a menu entry checked as one of its group
  Button,  // an operation button
  List,    // the fuse check list
};

struct TControlInfo {
  TControl FControl;
  std::string_view FName;
  std::optional<TControl> FParent;  // the enclosing menu
  TControlKind FKind;
  std::string_view FShortcut;  // e.g. "Ctrl+O"; empty for none
  bool FEnabled;               // when the window is made
  bool FChecked;
  bool FSeparatorBefore;  // a line above the entry in its menu
  // The caption in every language; empty when the language tables give it.
  std::string_view FFixedCaption;
};

// Every control, in enumerator order.
const std::array<TControlInfo, kControlCount>& ControlTable();
const TControlInfo& ControlInfo(TControl control);
std::string_view ControlName(TControl control);
// The control of that name, for views that know their widgets by name.
std::optional<TControl> FindControl(std::string_view name);

// The 24xx entry of a row of the 24xx table, and back.
TControl EepromEntry(std::size_t index);
std::optional<std::size_t> EepromIndexOf(TControl control);

}  // namespace quenvar
