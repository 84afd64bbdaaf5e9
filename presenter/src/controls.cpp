#include "quenvar/presenter/controls.h"

#include "quenvar/presenter/language_tables.h"

namespace quenvar {

namespace {

using enum TControl;
using K = TControlKind;

struct TRow {
  TControl FControl;
  std::string_view FName;
  std::optional<TControl> FParent;
  TControlKind FKind;
  std::string_view FShortcut = {};
  bool FEnabled = true;
  bool FSeparatorBefore = false;
  std::string_view FFixedCaption = {};
};

// Every control but the 24xx entries, whose names and captions come from the
// 24xx table. Captions left empty come from the language tables.
constexpr TRow kRows[] = {
    {nFile, "nFile", {}, K::Menu},
    {nopen, "nopen", nFile, K::Entry, "Ctrl+O"},
    {nsave, "nsave", nFile, K::Entry, "Ctrl+S", false},
    {nExit, "nExit", nFile, K::Entry, "Ctrl+X", true, true},
    {nBuffer, "nBuffer", {}, K::Menu},
    {nUndo, "nUndo", nBuffer, K::Entry, "Ctrl+U", false},
    {nRedo, "nRedo", nBuffer, K::Entry, "Ctrl+R", false},
    {neditbuffer, "neditbuffer", nBuffer, K::Check},
    {updatebuffer, "updatebuffer", nBuffer, K::Check, {}, true, true},
    {nDevice, "nDevice", {}, K::Menu},
    {nsocket, "nsocket", nDevice, K::Menu, {}, true, false, fixed_text::kSocket},
    {nSerialEeprom, "nSerialEeprom", nsocket, K::Menu, {}, true, false, fixed_text::kSerialEeprom},
    {nisp, "nisp", nDevice, K::Menu, {}, true, false, fixed_text::kIspConnector},
    {nAVRISP, "nAVRISP", nisp, K::Radio, {}, true, false, fixed_text::kAvrIsp},
    {nChose, "nChose", {}, K::Menu},
    {nprogflash, "nprogflash", nChose, K::Entry, {}, false},
    {nverifyflash, "nverifyflash", nChose, K::Entry, {}, false},
    {nreadflash, "nreadflash", nChose, K::Entry},
    {nErase, "nErase", nChose, K::Entry},
    {nprogeeprom, "nprogeeprom", nChose, K::Entry, {}, true, true},
    {nreadeeprom, "nreadeeprom", nChose, K::Entry},
    {nDetectDevice, "nDetectDevice", nChose, K::Entry, {}, true, true},
    {nWritefuse, "nWritefuse", nChose, K::Entry},
    {nSetup, "nSetup", {}, K::Menu},
    {nverifyprogramm, "nverifyprogramm", nSetup, K::Check},
    {Sprache1, "Sprache1", nSetup, K::Menu, {}, true, true, fixed_text::kLanguageMenu},
    {sDeutsch, "sDeutsch", Sprache1, K::Radio, {}, true, false, fixed_text::kGerman},
    {sEnglish, "sEnglish", Sprache1, K::Radio, {}, true, false, fixed_text::kEnglish},
    {sRus, "sRus", Sprache1, K::Radio, {}, true, false, fixed_text::kRussian},
    {nInfo, "nInfo", {}, K::Entry},
    {bProg, "bProg", {}, K::Button, {}, false},
    {bVerify, "bVerify", {}, K::Button, {}, false},
    {bRead, "bRead", {}, K::Button, {}, false},
    {bErase, "bErase", {}, K::Button, {}, false},
    {bDetectDevice, "bDetectDevice", {}, K::Button},
    {bWriteFuse, "bWriteFuse", {}, K::Button},
    {bprogeeprom, "bprogeeprom", {}, K::Button},
    {breadeeprom, "breadeeprom", {}, K::Button},
    {FuseList, "FuseList", {}, K::List},
};
static_assert(std::size(kRows) + kEepromTypeCount == kControlCount, "a row for every control");

std::array<TControlInfo, kControlCount> MakeTable() {
  std::array<TControlInfo, kControlCount> table{};
  for (const TRow& row : kRows) {
    table[static_cast<std::size_t>(row.FControl)] =
        TControlInfo{row.FControl, row.FName, row.FParent,          row.FKind,        row.FShortcut,
                     row.FEnabled, false,     row.FSeparatorBefore, row.FFixedCaption};
  }
  const auto types = EepromTypes();
  for (std::size_t i = 0; i < types.size(); ++i) {
    const TControl entry = EepromEntry(i);
    table[static_cast<std::size_t>(entry)] =
        TControlInfo{entry, types[i].FMenuName, nSerialEeprom, K::Radio, {}, true, false,
                     false, types[i].FCaption};
  }
  return table;
}

}  // namespace

const std::array<TControlInfo, kControlCount>& ControlTable() {
  static const std::array<TControlInfo, kControlCount> kTable = MakeTable();
  return kTable;
}

const TControlInfo& ControlInfo(TControl control) {
  return ControlTable()[static_cast<std::size_t>(control)];
}

std::string_view ControlName(TControl control) {
  return ControlInfo(control).FName;
}

std::optional<TControl> FindControl(std::string_view name) {
  for (const TControlInfo& info : ControlTable())
    if (info.FName == name) return info.FControl;
  return std::nullopt;
}

TControl EepromEntry(std::size_t index) {
  return static_cast<TControl>(static_cast<std::size_t>(N24AA00) + index);
}

std::optional<std::size_t> EepromIndexOf(TControl control) {
  if (control < N24AA00 || control > N24AA512) return std::nullopt;
  return static_cast<std::size_t>(control) - static_cast<std::size_t>(N24AA00);
}

}  // namespace quenvar
