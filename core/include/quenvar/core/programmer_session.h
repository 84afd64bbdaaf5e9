#pragma once
// The operation driver of the main window: the state of the work with the
// programmer, the click handlers, the reply dispatch and the target choice.
// It owns the window model; the Qt window renders that and forwards clicks.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quenvar/core/chip_table.h"
#include "quenvar/core/driver_texts.h"
#include "quenvar/core/operation_refusal.h"
#include "quenvar/core/protocol.h"
#include "quenvar/core/session_ports.h"
#include "quenvar/core/window_model.h"

namespace quenvar {

class TProgrammerSession {
 public:
  using TClock = std::chrono::system_clock;

  struct TPorts {
    IProgrammerPort* Port = nullptr;
    IMemoryBuffer* Buffer = nullptr;
    IFileReloader* Reloader = nullptr;
    IReplyTimer* Timer = nullptr;
  };

  explicit TProgrammerSession(TPorts ports);
  TProgrammerSession(const TProgrammerSession&) = delete;
  TProgrammerSession& operator=(const TProgrammerSession&) = delete;
  ~TProgrammerSession();

  TWindowModel& Window() { return FWindow; }
  const TWindowModel& Window() const { return FWindow; }

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
  void HidData(std::uint8_t reportId, std::span<const std::uint8_t> data);
  void HidCtlDeviceChange();

  // --- fuse list
  // The user toggled box `index` (the view has already flipped it in the model).
  void FuseListClickCheck();
  // Flips box `index` when it is enabled, then runs FuseListClickCheck.
  void ToggleFuse(std::size_t index);

  // --- driver steps
  void StartOperation();
  void FinishOperation();
  void AddDurationLine();
  void DisableControls();
  void EnableControls();
  // What a change of the buffer enables (the window's HexeditorChange, step 3):
  // with data, save, program and verify, and the EEPROM write where its read is
  // enabled. Nothing is ever disabled here.
  void EnableBufferCommands(std::int64_t dataLength);
  void RequestSignature();
  void SendReport();
  void FillNextChunk();

  // --- memory operations
  void StartErase();
  void StartWriteFlash();
  void StartWriteEeprom();
  void StartVerify();
  void StartReadFlash();
  void StartReadEeprom();

  // --- identification and fuses
  void IdentifyChip(std::span<const std::uint8_t> reply);
  bool ChipNeedsFuseRead() const;
  void StartReadFuses();
  void ShowFuses(std::span<const std::uint8_t> reply);
  void StartWriteFuses();

  // --- state (read access for views and tests)
  bool HasProgrammer() const { return ProgrammerDevice != nullptr; }
  TProtocolState ProtocolStateValue() const { return ProtocolState; }
  TRequestedOperation RequestedOperationValue() const { return RequestedOperation; }
  std::uint8_t LanguageIndexValue() const { return LanguageIndex; }
  void SetLanguageIndex(std::uint8_t index) { LanguageIndex = index; }
  bool ErrorFlagValue() const { return ErrorFlag; }
  bool SocketModeValue() const { return SocketMode; }
  bool IspModeValue() const { return IspMode; }
  const TOutReport& OutReportValue() const { return OutReport; }
  const std::vector<std::uint8_t>& ReadDataValue() const { return ReadData; }
  std::int32_t ChunkPosValue() const { return ChunkPos; }
  std::int32_t ReadTotalValue() const { return ReadTotal; }
  std::uint16_t EepromPageSizeValue() const { return EepromPageSize; }
  std::uint16_t EepromSizeCodeValue() const { return EepromSizeCode; }
  const ChipInfo* IdentifiedChipValue() const { return IdentifiedChip; }
  // Why the last program, program EEPROM or verify asked for did not run, if
  // it was refused; cleared when the next operation is asked for.
  const std::optional<TOperationRefusal>& LastRefusal() const { return FLastRefusal; }

  // --- configuration
  // Errors no handler catches (a bad number in `CodeSize`, a failing buffer):
  // the application shows them in its error box.
  std::function<void(const std::string&)> OnError;
  // A write or verify refused for its image. Before the start nothing happens
  // besides this call; after an identification the operation then ends with
  // the error ending.
  std::function<void(const TOperationRefusal&)> OnRefused;
  // Refuse a write or verify on a locked chip before the erase, instead of
  // going on without its sizes as the window does.
  bool RefuseLockedChip = false;
  // Asked before a fuse write that would newly program RSTDISBL or DWEN;
  // false sends nothing and leaves the boxes. Unset, the write goes ahead
  // (the command line checks on its own).
  std::function<bool(const std::string& question)> AskYesNo;
  // Source of the current local time; tests pin it.
  std::function<TClock::time_point()> Now = [] { return TClock::now(); };
  // How long a running operation waits for any reply before giving up.
  std::chrono::milliseconds ReplyTimeout{10000};

 private:
  void ContinueAfterIdentification();
  void HandleReply(std::span<const std::uint8_t> data);
  void ReadDataStep(std::span<const std::uint8_t> data);
  void ReplyTimerExpired();
  void ArmReplyTimer();
  void StopReplyTimer();
  void FailOperation(const std::string& message);
  // Ends the running step with the error ending; the reply dispatch finishes.
  // The timer stops first: a modal error box must not outlive the timeout.
  void EndWithError(const std::string& message);
  // The start of program, program EEPROM and verify: the re-read and the
  // checks of the image. False abandons the click.
  bool AdmitImage(TRequestedOperation operation);
  // After identification: false when the image does not fit the chip; the
  // operation then ends with the error ending.
  bool ImageFitsChip();
  void Refuse(const TOperationRefusal& refusal);
  bool ConfirmFuseWrite();
  std::vector<bool> CheckedFuses() const;
  void ShowProgressFor(std::string_view label, bool onlyWithoutError);
  std::string_view Text(const TLangText& text) const { return Pick(text, LanguageIndex); }
  void ProceedWithOperation();
  bool ReloadFile();

  TWindowModel FWindow;
  TPorts FPorts;
  bool FTimerArmed = false;
  std::optional<TOperationRefusal> FLastRefusal;
  // The boxes as the chip last showed them (identification, fuse read): what a
  // fuse write would change.
  std::vector<bool> FFusesAsRead;

  // State fields of the main window.
  IProgrammerDevice* ProgrammerDevice = nullptr;
  TProtocolState ProtocolState = TProtocolState::Idle;
  TRequestedOperation RequestedOperation = TRequestedOperation::Erase;
  std::uint8_t LanguageIndex = 0;
  bool ErrorFlag = false;
  bool SocketMode = false;
  bool IspMode = false;
  TClock::time_point StartTime{};
  TOutReport OutReport{};
  std::vector<std::uint8_t> ReadData;
  std::int32_t ChunkPos = 0;
  std::int32_t ReadTotal = 0;
  std::uint16_t EepromPageSize = 0;
  std::uint16_t EepromSizeCode = 0;
  const ChipInfo* IdentifiedChip = nullptr;
};

}  // namespace quenvar
