#pragma once
// The protocol driver: the state of the work with the programmer, the start of
// each operation, the reply dispatch, the reply time-out and the target. Its
// inputs are typed (the operation, the verify flag, the fuse boxes, the target)
// and it reports typed events; it knows no controls and no language. The
// window's presenter and the command line both drive it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quenvar/core/chip_table.h"
#include "quenvar/core/driver_events.h"
#include "quenvar/core/driver_ports.h"
#include "quenvar/core/identify.h"
#include "quenvar/core/log_line.h"
#include "quenvar/core/operation_refusal.h"
#include "quenvar/core/protocol.h"

namespace quenvar {

class TProgrammerDriver {
 public:
  using TClock = std::chrono::system_clock;

  struct TPorts {
    IProgrammerPort* FPort = nullptr;
    IMemoryBuffer* FBuffer = nullptr;
    IReplyTimer* FTimer = nullptr;
  };

  explicit TProgrammerDriver(TPorts ports);
  TProgrammerDriver(const TProgrammerDriver&) = delete;
  TProgrammerDriver& operator=(const TProgrammerDriver&) = delete;
  ~TProgrammerDriver();

  // The one listener of the events; null for none.
  void SetListener(IDriverEvents* listener) {
    FEvents = listener != nullptr ? listener : &FNoEvents;
  }

  // --- typed inputs
  // Verify after a flash write (never after an EEPROM write).
  void SetVerifyAfterProgram(bool on) { FVerifyAfterProgram = on; }
  bool VerifyAfterProgram() const { return FVerifyAfterProgram; }
  // The fuse boxes are kept per item of the chip's fuse list, as identification
  // made them: the read reply, the write records and both front ends all go by
  // item, and which bit of which byte an item is stays the chip table's
  // business. Programmed = checked. Out-of-range indexes are ignored.
  void SetFuseState(std::size_t index, bool programmed);
  const std::vector<TFuseBox>& FuseBoxes() const { return FFuseBoxes; }
  // The boxes as the chip last showed them (identification, fuse read): what a
  // fuse write would change, for the brick guard.
  const std::vector<bool>& FusesAsRead() const { return FFusesAsRead; }

  // --- the target
  void SelectIsp();
  // Index into the 24xx table; out-of-range indexes are ignored.
  void SelectEeprom(std::size_t index);
  // Neither target, no chip, no fuse boxes. The code size stays.
  void ClearTarget();
  // Whether the target has the operation at all (the socket: erase, program,
  // verify and read of the whole EEPROM).
  bool Offers(TRequestedOperation operation) const;

  // --- operations
  // The checks of an image before program, program EEPROM or verify: false
  // (with OnImageRefused) when it is empty or too large for a 24xx; then nothing runs.
  bool AdmitImage(TRequestedOperation operation);
  // Starts the operation: clears the flag, takes the start time and sends the
  // first command of the target's chain.
  void StartOperation(TRequestedOperation operation);
  void StartOperation() { StartOperation(FRequestedOperation); }

  // --- events of the HID link
  void HidData(std::uint8_t reportId, std::span<const std::uint8_t> data);
  // Any HID device came or went: gives back a programmer that is gone, claims
  // one if none is held.
  void DeviceChange();

  // --- the steps
  void FinishOperation();
  void AddDurationLine();
  void RequestSignature();
  void SendReport();
  void FillNextChunk();
  void StartErase();
  void StartWriteFlash();
  void StartWriteEeprom();
  void StartVerify();
  void StartReadFlash();
  void StartReadEeprom();
  void IdentifyChip(std::span<const std::uint8_t> reply);
  bool ChipNeedsFuseRead() const;
  void StartReadFuses();
  void ShowFuses(std::span<const std::uint8_t> reply);
  void StartWriteFuses();

  // --- state (read access for front ends and tests)
  bool HasProgrammer() const { return FProgrammerDevice != nullptr; }
  TProtocolState ProtocolStateValue() const { return FProtocolState; }
  TRequestedOperation RequestedOperationValue() const { return FRequestedOperation; }
  bool ErrorFlagValue() const { return FErrorFlag; }
  bool SocketModeValue() const { return FSocketMode; }
  bool IspModeValue() const { return FIspMode; }
  const TOutReport& OutReportValue() const { return FOutReport; }
  const std::vector<std::uint8_t>& ReadDataValue() const { return FReadData; }
  std::int32_t ChunkPosValue() const { return FChunkPos; }
  std::int32_t ReadTotalValue() const { return FReadTotal; }
  std::uint16_t EepromPageSizeValue() const { return FEepromPageSize; }
  std::uint16_t EepromSizeCodeValue() const { return FEepromSizeCode; }
  const TChipInfo* IdentifiedChipValue() const { return FIdentifiedChip; }
  // The memory size in bytes as the window's size box shows it: set by an
  // identification and by a 24xx selection, emptied by a failed identification.
  const std::optional<std::int64_t>& CodeSize() const { return FCodeSize; }
  // What the last signature reply since the target was chosen said, if any came.
  const std::optional<TIdentifyOutcome>& LastIdentification() const { return FLastIdentification; }
  bool ChipLocked() const { return FLastIdentification == TIdentifyOutcome::Locked; }
  // Why the last program, program EEPROM or verify asked for did not run, if
  // it was refused; cleared when the next operation is asked for.
  const std::optional<TOperationRefusal>& LastRefusal() const { return FLastRefusal; }
  // Bytes in the memory buffer; 0 without one.
  std::int64_t BufferLength() const;
  // The reply timer runs: an operation waits for its programmer.
  bool AwaitingReply() const { return FTimerArmed; }

  // --- options
  // Refuse a write or verify on a locked chip before the erase, instead of
  // going on without its sizes as the window does.
  bool FRefuseLockedChip = false;
  // Source of the current local time; tests pin it.
  std::function<TClock::time_point()> FNow = [] { return TClock::now(); };
  // How long a running operation waits for any reply before giving up.
  std::chrono::milliseconds FReplyTimeout{10000};

 private:
  void Log(TLogText text, std::vector<std::string> args = {});
  void ContinueAfterIdentification();
  void HandleReply(std::span<const std::uint8_t> data);
  void ReadDataStep(std::span<const std::uint8_t> data);
  void Progress(std::int64_t position, std::int64_t maximum);
  void ReplyTimerExpired();
  void ArmReplyTimer();
  void StopReplyTimer();
  void FailOperation(const std::string& message);
  // Ends the running step with the error ending; the reply dispatch finishes.
  // The timer stops first: a modal error box must not outlive the time-out.
  void EndWithError(const std::string& message);
  // After identification: false when the image does not fit the chip; the
  // operation then ends with the error ending.
  bool ImageFitsChip();
  void Refuse(const TOperationRefusal& refusal);
  std::vector<bool> CheckedFuses() const;
  void ProceedWithOperation();

  TPorts FPorts;
  TNoDriverEvents FNoEvents;
  IDriverEvents* FEvents = &FNoEvents;
  bool FTimerArmed = false;
  bool FVerifyAfterProgram = false;
  // Set when the running operation ends for a reason the error flag alone does not tell.
  std::optional<TOperationResult> FFailure;
  std::optional<TOperationRefusal> FLastRefusal;
  std::optional<std::int64_t> FCodeSize;
  std::optional<TIdentifyOutcome> FLastIdentification;
  std::vector<TFuseBox> FFuseBoxes;
  std::vector<bool> FFusesAsRead;

  // State fields of the work with the programmer.
  IProgrammerDevice* FProgrammerDevice = nullptr;
  TProtocolState FProtocolState = TProtocolState::Idle;
  TRequestedOperation FRequestedOperation = TRequestedOperation::Erase;
  bool FErrorFlag = false;
  bool FSocketMode = false;
  bool FIspMode = false;
  TClock::time_point FStartTime{};
  TOutReport FOutReport{};
  std::vector<std::uint8_t> FReadData;
  std::int32_t FChunkPos = 0;
  std::int32_t FReadTotal = 0;
  std::uint16_t FEepromPageSize = 0;
  std::uint16_t FEepromSizeCode = 0;
  const TChipInfo* FIdentifiedChip = nullptr;
};

}  // namespace quenvar
