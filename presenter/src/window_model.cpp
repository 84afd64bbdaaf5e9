#include "quenvar/presenter/window_model.h"

#include <utility>

namespace quenvar {

TWindowModel::TWindowModel() {
  for (const TControlInfo& info : ControlTable()) {
    TControlState& state = State(info.Control);
    state.Enabled = info.Enabled;
    state.Checked = info.Checked;
    state.Caption = std::string(info.FixedCaption);
    // The target entries are radio items from the start; ClearTarget keeps them so.
    state.RadioItem = info.Parent == TControl::nSerialEeprom || info.Control == TControl::nAVRISP;
  }
}

TControlState& TWindowModel::State(TControl control) {
  return FControls[static_cast<std::size_t>(control)];
}

const TControlState& TWindowModel::Control(TControl control) const {
  return FControls[static_cast<std::size_t>(control)];
}

void TWindowModel::SetEnabled(TControl control, bool enabled) {
  TControlState& c = State(control);
  if (c.Enabled == enabled) return;
  c.Enabled = enabled;
  Changed();
}

void TWindowModel::SetChecked(TControl control, bool checked) {
  TControlState& c = State(control);
  if (c.Checked == checked) return;
  c.Checked = checked;
  Changed();
}

void TWindowModel::SetRadioItem(TControl control, bool radioItem) {
  State(control).RadioItem = radioItem;
}

void TWindowModel::SetCaption(TControl control, std::string caption) {
  State(control).Caption = std::move(caption);
  Changed();
}

bool TWindowModel::Reachable(TControl control) const {
  if (!FMainWindowEnabled) return false;
  for (std::optional<TControl> c = control; c; c = ControlInfo(*c).Parent) {
    const TControlState& state = Control(*c);
    if (!state.Enabled || !state.Visible) return false;
  }
  return true;
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
