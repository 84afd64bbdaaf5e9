#include "quenvar/presenter/window_model.h"

#include <utility>

namespace quenvar {

TWindowModel::TWindowModel() {
  for (const TControlInfo& info : ControlTable()) {
    TControlState& state = State(info.FControl);
    state.FEnabled = info.FEnabled;
    state.FChecked = info.FChecked;
    state.FCaption = std::string(info.FFixedCaption);
    // The target entries are radio items from the start; ClearTarget keeps them so.
    state.FRadioItem =
        info.FParent == TControl::nSerialEeprom || info.FControl == TControl::nAVRISP;
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
  if (c.FEnabled == enabled) return;
  c.FEnabled = enabled;
  Changed();
}

void TWindowModel::SetChecked(TControl control, bool checked) {
  TControlState& c = State(control);
  if (c.FChecked == checked) return;
  c.FChecked = checked;
  Changed();
}

void TWindowModel::SetRadioItem(TControl control, bool radioItem) {
  State(control).FRadioItem = radioItem;
}

void TWindowModel::SetCaption(TControl control, std::string caption) {
  State(control).FCaption = std::move(caption);
  Changed();
}

bool TWindowModel::Reachable(TControl control) const {
  if (!FMainWindowEnabled) return false;
  for (std::optional<TControl> c = control; c; c = ControlInfo(*c).FParent) {
    const TControlState& state = Control(*c);
    if (!state.FEnabled || !state.FVisible) return false;
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
  FFuseList[index].FChecked = checked;
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
  FProgress.FLabel = std::move(text);
  Changed();
}

void TWindowModel::SetGaugeMax(std::int64_t max) {
  if (max < 0) max = 0;
  if (FProgress.FGaugeMax == max) return;
  FProgress.FGaugeMax = max;
  if (FProgress.FGaugePosition > max) FProgress.FGaugePosition = max;
  Changed();
}

void TWindowModel::SetGaugePosition(std::int64_t position) {
  if (position < 0) position = 0;
  if (position > FProgress.FGaugeMax) position = FProgress.FGaugeMax;
  if (FProgress.FGaugePosition == position) return;
  FProgress.FGaugePosition = position;
  Changed();
}

void TWindowModel::ShowProgress() {
  FProgress.FShown = true;
  Changed();
}

void TWindowModel::CloseProgress() {
  FProgress.FShown = false;
  Changed();
}

void TWindowModel::SetMainWindowEnabled(bool enabled) {
  FMainWindowEnabled = enabled;
  Changed();
}

void TWindowModel::Changed() {
  if (FOnModelChanged) FOnModelChanged();
}

}  // namespace quenvar
