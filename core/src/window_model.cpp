#include "quenvar/core/window_model.h"

#include <utility>

#include "quenvar/core/eeprom_types.h"

namespace quenvar {

namespace {

struct TSeed {
  const char* Name;
  const char* Parent;
  bool Enabled;
};

// The window's controls with their enclosing menus and the enabled state they
// have when the window is created.
constexpr TSeed kSeeds[] = {
    {"nFile", "", true},
    {"nopen", "nFile", true},
    {"nsave", "nFile", false},
    {"nExit", "nFile", true},
    {"nBuffer", "", true},
    {"nUndo", "nBuffer", false},
    {"nRedo", "nBuffer", false},
    {"neditbuffer", "nBuffer", true},
    {"updatebuffer", "nBuffer", true},
    {"nDevice", "", true},
    {"nsocket", "nDevice", true},
    {"nSerialEeprom", "nsocket", true},
    {"nisp", "nDevice", true},
    {"nAVRISP", "nisp", true},
    {"nChose", "", true},
    {"nprogflash", "nChose", false},
    {"nverifyflash", "nChose", false},
    {"nreadflash", "nChose", true},
    {"nErase", "nChose", true},
    {"nprogeeprom", "nChose", true},
    {"nreadeeprom", "nChose", true},
    {"nDetectDevice", "nChose", true},
    {"nWritefuse", "nChose", true},
    {"nSetup", "", true},
    {"nverifyprogramm", "nSetup", true},
    {"Sprache1", "nSetup", true},
    {"sDeutsch", "Sprache1", true},
    {"sEnglish", "Sprache1", true},
    {"sRus", "Sprache1", true},
    {"nInfo", "", true},
    {"bProg", "", false},
    {"bVerify", "", false},
    {"bRead", "", false},
    {"bErase", "", false},
    {"bDetectDevice", "", true},
    {"bWriteFuse", "", true},
    {"bprogeeprom", "", true},
    {"breadeeprom", "", true},
    {"FuseList", "", true},
};

}  // namespace

TWindowModel::TWindowModel() {
  for (const TSeed& seed : kSeeds) {
    TControlState& c = FControls[seed.Name];
    c.Enabled = seed.Enabled;
    c.Parent = seed.Parent;
  }
  for (const TEepromType& type : EepromTypes()) {
    TControlState& c = FControls[type.MenuName];
    c.Parent = "nSerialEeprom";
    c.Caption = type.Caption;
    c.RadioItem = true;
  }
  FControls["nAVRISP"].Caption = "AVR (автоопределение)";
  FControls["nAVRISP"].RadioItem = true;
}

TControlState& TWindowModel::Control(std::string_view name) {
  auto it = FControls.find(name);
  if (it == FControls.end()) it = FControls.emplace(std::string(name), TControlState{}).first;
  return it->second;
}

const TControlState* TWindowModel::FindControl(std::string_view name) const {
  auto it = FControls.find(name);
  return it == FControls.end() ? nullptr : &it->second;
}

bool TWindowModel::Enabled(std::string_view name) const {
  const TControlState* c = FindControl(name);
  return c == nullptr || c->Enabled;
}

bool TWindowModel::Checked(std::string_view name) const {
  const TControlState* c = FindControl(name);
  return c != nullptr && c->Checked;
}

void TWindowModel::SetEnabled(std::string_view name, bool enabled) {
  TControlState& c = Control(name);
  if (c.Enabled == enabled) return;
  c.Enabled = enabled;
  Changed();
}

void TWindowModel::SetChecked(std::string_view name, bool checked) {
  TControlState& c = Control(name);
  if (c.Checked == checked) return;
  c.Checked = checked;
  Changed();
}

void TWindowModel::SetCaption(std::string_view name, std::string caption) {
  Control(name).Caption = std::move(caption);
  Changed();
}

bool TWindowModel::Reachable(std::string_view name) const {
  if (!FMainWindowEnabled) return false;
  // Bounded walk: a parent cycle set up by mistake must not hang the caller.
  std::string_view current = name;
  for (int depth = 0; depth < 16 && !current.empty(); ++depth) {
    const TControlState* c = FindControl(current);
    if (c == nullptr) return depth > 0;
    if (!c->Enabled || !c->Visible) return false;
    current = c->Parent;
  }
  return true;
}

std::vector<std::string> TWindowModel::ControlNames() const {
  std::vector<std::string> names;
  names.reserve(FControls.size());
  for (const auto& [name, state] : FControls) names.push_back(name);
  return names;
}

void TWindowModel::SetDevice(std::string text) {
  FDevice = std::move(text);
  Changed();
}

void TWindowModel::SetAutoDevice(std::string text) {
  FAutoDevice = std::move(text);
  Changed();
}

void TWindowModel::SetCodeSize(std::string text) {
  FCodeSize = std::move(text);
  Changed();
}

void TWindowModel::AddLine(std::string line) {
  FVerlauf.push_back(std::move(line));
  Changed();
}

void TWindowModel::ClearLog() {
  FVerlauf.clear();
  Changed();
}

void TWindowModel::SetFuseList(std::vector<TFuseItem> items) {
  FFuseList = std::move(items);
  Changed();
}

void TWindowModel::ClearFuseList() {
  FFuseList.clear();
  Changed();
}

void TWindowModel::SetFuseChecked(std::size_t index, bool checked) {
  if (index >= FFuseList.size()) return;
  FFuseList[index].Checked = checked;
  Changed();
}

const std::string& TWindowModel::StatusPanel(std::size_t index) const {
  static const std::string kNone;
  return index < 3 ? FStatus[index] : kNone;
}

void TWindowModel::SetStatusPanel(std::size_t index, std::string text) {
  if (index >= 3) return;
  FStatus[index] = std::move(text);
  Changed();
}

void TWindowModel::SetProgressLabel(std::string text) {
  FProgress.Label = std::move(text);
  Changed();
}

void TWindowModel::SetGaugeMax(std::int64_t max) {
  if (max < 0) max = 0;
  if (FProgress.GaugeMax == max) return;
  FProgress.GaugeMax = max;
  if (FProgress.GaugePosition > max) FProgress.GaugePosition = max;
  Changed();
}

void TWindowModel::SetGaugePosition(std::int64_t position) {
  if (position < 0) position = 0;
  if (position > FProgress.GaugeMax) position = FProgress.GaugeMax;
  if (FProgress.GaugePosition == position) return;
  FProgress.GaugePosition = position;
  Changed();
}

void TWindowModel::ShowProgress() {
  FProgress.Shown = true;
  Changed();
}

void TWindowModel::CloseProgress() {
  FProgress.Shown = false;
  Changed();
}

void TWindowModel::SetMainWindowEnabled(bool enabled) {
  FMainWindowEnabled = enabled;
  Changed();
}

void TWindowModel::Changed() {
  if (OnModelChanged) OnModelChanged();
}

}  // namespace quenvar
