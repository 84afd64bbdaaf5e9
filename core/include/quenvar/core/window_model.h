#pragma once
// The main window as plain data. The Qt window renders it and forwards clicks;
// tests read and "click" it directly. Nothing here knows about the programmer.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quenvar {

// One button, menu or menu entry. Unknown names are created on first use with
// the defaults below, so the application can add its own entries freely.
struct TControlState {
  bool Enabled = true;
  bool Checked = false;
  bool Visible = true;
  bool RadioItem = false;
  std::string Caption;
  std::string Parent;  // enclosing menu; a disabled menu makes its entries unreachable
};

struct TFuseItem {
  std::string Caption;
  bool Checked = false;
  bool Enabled = true;
};

// The progress window (`Form1` with `Label1` and `Gauge1`).
struct TProgressWindow {
  std::string Label;
  std::int64_t GaugeMax = 100;
  std::int64_t GaugePosition = 0;
  bool Shown = false;
};

class TWindowModel {
 public:
  TWindowModel();

  // --- named controls
  TControlState& Control(std::string_view name);
  const TControlState* FindControl(std::string_view name) const;
  bool Enabled(std::string_view name) const;
  bool Checked(std::string_view name) const;
  void SetEnabled(std::string_view name, bool enabled);
  void SetChecked(std::string_view name, bool checked);
  void SetCaption(std::string_view name, std::string caption);
  // Enabled, every enclosing menu enabled, and the main window enabled.
  bool Reachable(std::string_view name) const;
  std::vector<std::string> ControlNames() const;

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

  // --- the check list `FuseList` (its enabled state is the control "FuseList")
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
  std::function<void()> OnModelChanged;

 private:
  void Changed();

  std::map<std::string, TControlState, std::less<>> FControls;
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
