#pragma once
// The main window's side of the work with the programmer: the click handlers,
// the enabling rules and the target choice. It feeds the protocol driver and
// renders the driver's events into the window model; the Qt window renders
// that and forwards clicks.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quenvar/core/driver_texts.h"
#include "quenvar/core/programmer_driver.h"
#include "quenvar/core/window_model.h"

namespace quenvar {

// Re-reading the last opened file before program and verify. The reader shows
// its own error message; false tells the caller it failed.
class IFileReloader {
 public:
  virtual ~IFileReloader() = default;
  virtual bool LoadFile() = 0;
};

class TProgrammerSession final : private IDriverEvents {
 public:
  using TClock = TProgrammerDriver::TClock;

  struct TPorts {
    IProgrammerPort* Port = nullptr;
    IMemoryBuffer* Buffer = nullptr;
    IFileReloader* Reloader = nullptr;
    IReplyTimer* Timer = nullptr;
  };

  explicit TProgrammerSession(TPorts ports);
  TProgrammerSession(const TProgrammerSession&) = delete;
  TProgrammerSession& operator=(const TProgrammerSession&) = delete;
  ~TProgrammerSession() override;

  TWindowModel& Window() { return FWindow; }
  const TWindowModel& Window() const { return FWindow; }
  TProgrammerDriver& Driver() { return FDriver; }

  // Runs the handler of a named control when the control can be reached (it
  // and its menus enabled, the main window enabled). Returns whether it ran.
  bool Click(std::string_view name);

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

  // --- events of the HID link
  void HidData(std::uint8_t reportId, std::span<const std::uint8_t> data) {
    FDriver.HidData(reportId, data);
  }
  void HidCtlDeviceChange() { FDriver.DeviceChange(); }

  // --- fuse list
  // The user toggled a box (the view has already flipped it in the model).
  void FuseListClickCheck();
  // Flips box `index` when it is enabled, then runs FuseListClickCheck.
  void ToggleFuse(std::size_t index);

  // --- driver steps
  void StartOperation() { FDriver.StartOperation(); }
  void FinishOperation() { FDriver.FinishOperation(); }
  void DisableControls();
  void EnableControls();
  // What a change of the buffer enables (the window's HexeditorChange, step 3):
  // with data, save, program and verify, and the EEPROM write where its read is
  // enabled. Nothing is ever disabled here.
  void EnableBufferCommands(std::int64_t dataLength);
  void RequestSignature() { FDriver.RequestSignature(); }
  void StartErase() { FDriver.StartErase(); }
  void StartWriteFlash() { FDriver.StartWriteFlash(); }
  void StartWriteEeprom() { FDriver.StartWriteEeprom(); }
  void StartVerify() { FDriver.StartVerify(); }
  void StartReadFlash() { FDriver.StartReadFlash(); }
  void StartReadEeprom() { FDriver.StartReadEeprom(); }
  void StartReadFuses() { FDriver.StartReadFuses(); }
  void StartWriteFuses() { FDriver.StartWriteFuses(); }
  void SendReport() { FDriver.SendReport(); }
  void FillNextChunk() { FDriver.FillNextChunk(); }
  void AddDurationLine() { FDriver.AddDurationLine(); }

  // --- state (read access for views and tests)
  bool HasProgrammer() const { return FDriver.HasProgrammer(); }
  TProtocolState ProtocolStateValue() const { return FDriver.ProtocolStateValue(); }
  std::uint8_t LanguageIndexValue() const { return LanguageIndex; }
  void SetLanguageIndex(std::uint8_t index) { LanguageIndex = index; }
  bool ErrorFlagValue() const { return FDriver.ErrorFlagValue() || FReloadFailed; }
  bool SocketModeValue() const { return FDriver.SocketModeValue(); }
  bool IspModeValue() const { return FDriver.IspModeValue(); }
  const std::vector<std::uint8_t>& ReadDataValue() const { return FDriver.ReadDataValue(); }
  std::int32_t ReadTotalValue() const { return FDriver.ReadTotalValue(); }
  std::int32_t ChunkPosValue() const { return FDriver.ChunkPosValue(); }
  const TOutReport& OutReportValue() const { return FDriver.OutReportValue(); }
  TRequestedOperation RequestedOperationValue() const { return FDriver.RequestedOperationValue(); }
  std::uint16_t EepromPageSizeValue() const { return FDriver.EepromPageSizeValue(); }
  std::uint16_t EepromSizeCodeValue() const { return FDriver.EepromSizeCodeValue(); }
  const ChipInfo* IdentifiedChipValue() const { return FDriver.IdentifiedChipValue(); }
  const std::optional<TOperationRefusal>& LastRefusal() const { return FDriver.LastRefusal(); }

  // --- configuration
  // Errors no handler catches (a bad size, a failing buffer): the application
  // shows them in its error box.
  std::function<void(const std::string&)> OnError;
  // A write or verify refused for its image. Before the start nothing happens
  // besides this call; after an identification the operation then ends with
  // the error ending.
  std::function<void(const TOperationRefusal&)> OnRefused;
  // Asked before a fuse write that would newly program RSTDISBL or DWEN;
  // false sends nothing and leaves the boxes. Unset, the write goes ahead
  // (the command line checks on its own).
  std::function<bool(const std::string& question)> AskYesNo;
  std::function<TClock::time_point()>& Now = FDriver.Now;
  std::chrono::milliseconds& ReplyTimeout = FDriver.ReplyTimeout;
  bool& RefuseLockedChip = FDriver.RefuseLockedChip;

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

  // The re-read and the image checks of program, program EEPROM and verify,
  // then the progress window and the start. False abandons the click.
  void StartImageOperation(TRequestedOperation operation, std::string_view label);
  bool ReloadFile();
  bool ConfirmFuseWrite();
  void ShowProgressFor(std::string_view label, bool onlyWithoutError);
  std::int64_t BufferLength() const;

  TPorts FPorts;
  TWindowModel FWindow;
  TProgrammerDriver FDriver;
  std::uint8_t LanguageIndex = 0;
  // The re-read before the start failed: the progress label stays as it was.
  bool FReloadFailed = false;
};

}  // namespace quenvar
