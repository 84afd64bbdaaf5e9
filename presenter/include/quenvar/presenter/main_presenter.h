#pragma once
// The main window's side of the work with the programmer: the click handlers,
// the routing of a click, the enabling rules and the target choice. It feeds
// the protocol driver and renders the driver's events into the window model;
// the Qt window renders that and forwards clicks. No widgets, no Qt.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "quenvar/core/programmer_driver.h"
#include "quenvar/presenter/controls.h"
#include "quenvar/presenter/window_model.h"

namespace quenvar {

class TMainFormLogic;

// Re-reading the last opened file before program and verify. The reader shows
// its own error message; false tells the caller it failed.
class IFileReloader {
 public:
  virtual ~IFileReloader() = default;
  virtual bool LoadFile() = 0;
};

class TMainPresenter final : private IDriverEvents {
 public:
  // The driver's listener from now until this object goes.
  explicit TMainPresenter(TProgrammerDriver& driver);
  TMainPresenter(const TMainPresenter&) = delete;
  TMainPresenter& operator=(const TMainPresenter&) = delete;
  ~TMainPresenter() override;

  TWindowModel& Window() { return FWindow; }
  const TWindowModel& Window() const { return FWindow; }
  TProgrammerDriver& Driver() { return FDriver; }
  const TProgrammerDriver& Driver() const { return FDriver; }

  // The window's file, edit, settings and language commands, and the re-read
  // before program and verify.
  void AttachLogic(TMainFormLogic* logic) { FLogic = logic; }
  void SetReloader(IFileReloader* reloader) { FReloader = reloader; }

  // Runs the handler of a control when it can be reached (it and its menus
  // enabled, the main window enabled). Returns whether a handler ran; the
  // window's own entries (nExit, nInfo) and the menus have none here.
  bool Click(TControl control);

  // --- click handlers
  void bEraseClick();
  void bVerifyClick();
  void bProgClick();
  void bReadClick();
  void breadeepromClick();
  void bprogeepromClick();
  void bWriteFuseClick();
  void bDetectDeviceClick();

  // --- target selection
  void nAVRISPClick();
  void N24AA00Click() { SelectEepromType(0); }
  void N24AA01Click() { SelectEepromType(1); }
  void N24C01CClick() { SelectEepromType(2); }
  void N24AA02Click() { SelectEepromType(3); }
  void N24C02CClick() { SelectEepromType(4); }
  void N24C04AClick() { SelectEepromType(5); }
  void N24AA04Click() { SelectEepromType(6); }
  void N24AA08Click() { SelectEepromType(7); }
  void N24AA16Click() { SelectEepromType(8); }
  void N24aa32Click() { SelectEepromType(9); }
  void N24AA64Click() { SelectEepromType(10); }
  void N24AA128Click() { SelectEepromType(11); }
  void n24AA256Click() { SelectEepromType(12); }
  void N24AA512Click() { SelectEepromType(13); }
  // Index into the 24xx table; out-of-range indexes are ignored.
  void SelectEepromType(std::size_t index);
  void ClearTarget();
  void EnableEepromCommands();
  // "Last Device": 0..13 the checked 24xx entry, 14 when the ISP target is
  // checked (also when a 24xx entry is too). With nothing checked, 0: the
  // value a first start stores.
  int LastDeviceIndex() const;
  // Restores a stored "Last Device"; anything not 0..14 selects the ISP target.
  void RestoreTarget(int lastDevice);

  // Any HID device came or went (the window's part follows from the driver's events).
  void HidCtlDeviceChange() { FDriver.DeviceChange(); }

  // --- fuse list
  // The user toggled a box (the box has already been flipped).
  void FuseListClickCheck();
  // Flips box `index` when it is enabled, then runs FuseListClickCheck.
  void ToggleFuse(std::size_t index);

  // --- enabling rules
  void DisableControls();
  void EnableControls();
  // What a change of the buffer enables (the window's HexeditorChange, step 3):
  // with data, save, program and verify, and the EEPROM write where its read is
  // enabled. Nothing is ever disabled here.
  void EnableBufferCommands(std::int64_t dataLength);

  // --- settings the window shows
  std::uint8_t LanguageIndexValue() const { return FLanguageIndex; }
  void SetLanguageIndex(std::uint8_t index) { FLanguageIndex = index; }
  // The check mark of nverifyprogramm, and so whether a flash write is verified.
  void SetVerifyAfterProgram(bool checked);
  // The re-read before program and verify failed; the progress label stayed.
  bool ReloadFailed() const { return FReloadFailed; }

  // --- hooks
  // The application's error box: step failures, refused images, a re-read
  // that failed on the file system.
  std::function<void(const std::string&)> FOnError;
  // Asked before a fuse write that would newly program RSTDISBL or DWEN;
  // false sends nothing and leaves the boxes. Unset, the write goes ahead.
  std::function<bool(const std::string& question)> FAskYesNo;

 private:
  // IDriverEvents
  void OnOperationStarted(TRequestedOperation operation) override;
  void OnLogLine(const TLogLine& line) override;
  void OnProgress(std::int64_t position, std::int64_t maximum) override;
  void OnVerifyStarted() override;
  void OnChipIdentified(const TIdentification& identification) override;
  void OnFusesRead(std::span<const TFuseBoxChange> changes) override;
  void OnStepFailed(const std::string& text) override;
  void OnImageRefused(const TOperationRefusal& refusal) override;
  void OnProgrammerLost() override;
  void OnProgrammerClaimed() override;
  void OnProgrammerMissing() override;
  void OnDeviceChangeHandled() override;
  void OnFinished(TOperationResult result) override;

  bool ClickLogic(TControl control);
  // The re-read and the image checks of program, program EEPROM and verify,
  // then the progress window and the start.
  void StartImageOperation(TRequestedOperation operation, std::string_view label);
  bool ReloadFile();
  bool ConfirmFuseWrite();
  void ShowProgressFor(std::string_view label, bool onlyWithoutError);
  void ShowError(const std::string& text);

  TProgrammerDriver& FDriver;
  TWindowModel FWindow;
  TMainFormLogic* FLogic = nullptr;
  IFileReloader* FReloader = nullptr;
  std::uint8_t FLanguageIndex = 0;
  bool FReloadFailed = false;
};

}  // namespace quenvar
