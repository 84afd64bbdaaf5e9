#pragma once
// The main window as plain data. The Qt window renders it and forwards clicks;
// tests read and "click" it directly. Nothing here knows about the programmer.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quenvar/core/identify.h"
#include "quenvar/presenter/controls.h"

namespace quenvar {

// One button, menu, menu entry or the fuse list.
struct TControlState {
  bool FEnabled = true;
  bool FChecked = false;
  bool FVisible = true;
  bool FRadioItem = false;
  std::string FCaption;
};

// One box of the check list `FuseList`: caption, checked (programmed), enabled.
using TFuseItem = TFuseBox;

// The progress window (`Form1` with `Label1` and `Gauge1`).
struct TProgressWindow {
  std::string FLabel;
  std::int64_t FGaugeMax = 100;
  std::int64_t FGaugePosition = 0;
  bool FShown = false;
};

class TWindowModel {
 public:
  // Every control in the state the control table gives it.
  TWindowModel();

  // --- the controls
  const TControlState& Control(TControl control) const;
  bool Enabled(TControl control) const { return Control(control).FEnabled; }
  bool Checked(TControl control) const { return Control(control).FChecked; }
  void SetEnabled(TControl control, bool enabled);
  void SetChecked(TControl control, bool checked);
  void SetRadioItem(TControl control, bool radioItem);
  void SetCaption(TControl control, std::string caption);
  // Enabled, every enclosing menu enabled, and the main window enabled.
  bool Reachable(TControl control) const;

  // --- edits of the chip group box
  const std::string& Device() const { return FDevice; }
  const std::string& AutoDevice() const { return FAutoDevice; }
  const std::string& CodeSize() const { return FCodeSize; }
  void SetDevice(std::string text);
  void SetAutoDevice(std::string text);
  void SetCodeSize(std::string text);

  // --- the log `Verlauf`
  const std::vector<std::string>& Verlauf() const { return FVerlauf; }
  void AddLine(std::string line);
  void ClearLog();

  // --- the check list `FuseList` (its enabled state is the control FuseList)
  const std::vector<TFuseItem>& FuseList() const { return FFuseList; }
  void SetFuseList(std::vector<TFuseItem> items);
  void ClearFuseList();
  // Sets one box; out-of-range indexes are ignored.
  void SetFuseChecked(std::size_t index, bool checked);

  // --- status bar panels 0..2
  const std::string& StatusPanel(std::size_t index) const;
  void SetStatusPanel(std::size_t index, std::string text);

  // --- progress window
  const TProgressWindow& Progress() const { return FProgress; }
  void SetProgressLabel(std::string text);
  void SetGaugeMax(std::int64_t max);
  // The gauge keeps its position between 0 and its maximum.
  void SetGaugePosition(std::int64_t position);
  void ShowProgress();
  void CloseProgress();

  // --- the main window itself
  bool MainWindowEnabled() const { return FMainWindowEnabled; }
  void SetMainWindowEnabled(bool enabled);

  // Called after every change, so a view can re-render. Finer than a full
  // repaint is not needed: the model is small.
  std::function<void()> FOnModelChanged;

 private:
  TControlState& State(TControl control);
  void Changed();

  std::array<TControlState, kControlCount> FControls;
  std::string FDevice;
  std::string FAutoDevice;
  std::string FCodeSize;
  std::vector<std::string> FVerlauf;
  std::vector<TFuseItem> FFuseList;
  std::string FStatus[3];
  TProgressWindow FProgress;
  bool FMainWindowEnabled = true;
};

}  // namespace quenvar
