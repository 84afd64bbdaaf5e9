#include "quenvar/core/programmer_driver.h"

#include <array>
#include <cstdlib>
#include <exception>
#include <string>
#include <utility>

namespace quenvar {

TProgrammerDriver::TProgrammerDriver(TPorts ports) : FPorts(ports) {}

TProgrammerDriver::~TProgrammerDriver() {
  StopReplyTimer();
  if (FPorts.Port == nullptr) return;
  // Stop the deliveries first: releasing the device drains its pending reports.
  FPorts.Port->DriverGone();
  if (ProgrammerDevice != nullptr) FPorts.Port->ReleaseProgrammer(ProgrammerDevice);
}

void TProgrammerDriver::Log(TLogText text, std::vector<std::string> args) {
  FEvents->OnLogLine(TLogLine{text, std::move(args)});
}

void TProgrammerDriver::Progress(std::int64_t position, std::int64_t maximum) {
  FEvents->OnProgress(position, maximum);
}

std::int64_t TProgrammerDriver::BufferLength() const {
  return FPorts.Buffer != nullptr ? FPorts.Buffer->DataLength() : 0;
}

void TProgrammerDriver::StartOperation(TRequestedOperation operation) {
  RequestedOperation = operation;
  FLastRefusal.reset();
  FEvents->OnOperationStarted(operation);
  ErrorFlag = false;
  FFailure.reset();
  StartTime = Now();
  if (IspMode) {
    if (RequestedOperation == TRequestedOperation::WriteFuses)
      StartWriteFuses();
    else
      RequestSignature();
  } else if (SocketMode) {
    switch (RequestedOperation) {
      case TRequestedOperation::Erase:
        StartErase();
        break;
      case TRequestedOperation::ProgramFlash:
        StartWriteFlash();
        break;
      case TRequestedOperation::Verify:
        StartVerify();
        break;
      case TRequestedOperation::ReadFlash:
        StartReadFlash();
        break;
      default:
        break;  // never offered for the socket
    }
  }
  if (ProtocolState != TProtocolState::Idle) ArmReplyTimer();
}

void TProgrammerDriver::HidData(std::uint8_t /*reportId*/, std::span<const std::uint8_t> data) {
  // The HID link stops a device's reader when this handler raises, so nothing
  // may leave it: an error ends the operation and the reader keeps going.
  try {
    HandleReply(data);
  } catch (const std::exception& e) {
    FailOperation(e.what());
  } catch (...) {
    FailOperation("Unexpected error while handling a reply.");
  }
  if (ProtocolState != TProtocolState::Idle)
    ArmReplyTimer();
  else
    StopReplyTimer();
}

void TProgrammerDriver::HandleReply(std::span<const std::uint8_t> data) {
  // Fixed-size copy so that no step reads past the end of a short reply.
  std::array<std::uint8_t, 64> reply{};
  for (std::size_t i = 0; i < reply.size() && i < data.size(); ++i) reply[i] = data[i];
  const std::uint8_t code = reply[0];

  if (ProtocolState != TProtocolState::Reading) {
    if (code == kReplyNextChunk) {
      FillNextChunk();
    } else if (code == kReplyFailed) {
      ErrorFlag = true;
      ProtocolState = TProtocolState::Idle;
    }
  }

  switch (ProtocolState) {
    case TProtocolState::AwaitSignature:
      if (code == kReplySignature) {
        IdentifyChip(reply);
        ContinueAfterIdentification();
      }
      break;
    case TProtocolState::AwaitErase:
      if (code == kReplyErased) {
        if (RequestedOperation == TRequestedOperation::Erase)
          ProtocolState = TProtocolState::Idle;
        else if (RequestedOperation == TRequestedOperation::ProgramFlash)
          StartWriteFlash();
      }
      break;
    case TProtocolState::Writing:
      if (code == kReplyWritten) {
        if (RequestedOperation != TRequestedOperation::ProgramEeprom && FVerifyAfterProgram)
          StartVerify();
        else
          ProtocolState = TProtocolState::Idle;
      }
      break;
    case TProtocolState::Verifying:
      if (code == kReplyVerified) ProtocolState = TProtocolState::Idle;
      break;
    case TProtocolState::AwaitFuseWrite:
      if (code == kReplyFusesWritten) ProtocolState = TProtocolState::Idle;
      break;
    case TProtocolState::AwaitFuseRead:
      if (code == kReplyFusesRead) {
        // The reply as it came: bytes a short report lacks change no box.
        if (IspMode) ShowFuses(data);
        ProceedWithOperation();
      }
      break;
    case TProtocolState::Reading:
      ReadDataStep(data);
      break;
    case TProtocolState::Idle:
      break;
  }

  if (ProtocolState == TProtocolState::Idle) FinishOperation();
}

void TProgrammerDriver::ContinueAfterIdentification() {
  if (ErrorFlag) {
    IdentifiedChip = nullptr;
    ProtocolState = TProtocolState::Idle;
    return;
  }
  if (IspMode && ChipNeedsFuseRead()) {
    StartReadFuses();
    return;
  }
  ProceedWithOperation();
}

void TProgrammerDriver::ProceedWithOperation() {
  if (!ImageFitsChip()) return;
  switch (RequestedOperation) {
    case TRequestedOperation::Erase:
    case TRequestedOperation::ProgramFlash:
      StartErase();
      break;
    case TRequestedOperation::Verify:
      StartVerify();
      break;
    case TRequestedOperation::ReadFlash:
      StartReadFlash();
      break;
    case TRequestedOperation::ReadEeprom:
      StartReadEeprom();
      break;
    case TRequestedOperation::ProgramEeprom:
      StartWriteEeprom();
      break;
    case TRequestedOperation::WriteFuses:
    case TRequestedOperation::DetectDevice:
      ProtocolState = TProtocolState::Idle;
      break;
  }
}

void TProgrammerDriver::FinishOperation() {
  ProtocolState = TProtocolState::Idle;
  StopReplyTimer();
  Log(TLogText::Blank);
  Log(ErrorFlag ? TLogText::Error : TLogText::Success);
  AddDurationLine();
  const TOperationResult result =
      ErrorFlag ? FFailure.value_or(TOperationResult::Error) : TOperationResult::Success;
  ErrorFlag = false;
  FFailure.reset();
  FEvents->OnFinished(result);
}

void TProgrammerDriver::AddDurationLine() {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Now() - StartTime);
  const std::int64_t ms = std::llabs(static_cast<long long>(elapsed.count()));
  Log(TLogText::Duration, {FormatDuration(ms)});
}

void TProgrammerDriver::DeviceChange() {
  if (ProgrammerDevice != nullptr && !ProgrammerDevice->PluggedIn()) {
    // The operation, if any, is abandoned: nothing more can come from this device.
    const bool running = ProtocolState != TProtocolState::Idle;
    StopReplyTimer();
    IProgrammerDevice* gone = ProgrammerDevice;
    ProgrammerDevice = nullptr;
    if (FPorts.Port != nullptr) FPorts.Port->ReleaseProgrammer(gone);
    FEvents->OnProgrammerLost();
    if (running) FEvents->OnFinished(TOperationResult::Abandoned);
  }
  if (ProgrammerDevice == nullptr) {
    if (FPorts.Port != nullptr)
      ProgrammerDevice = FPorts.Port->ClaimProgrammer(kProgrammerVendorId, kProgrammerProductId);
    if (ProgrammerDevice != nullptr)
      FEvents->OnProgrammerClaimed();
    else
      FEvents->OnProgrammerMissing();
  }
  FEvents->OnDeviceChangeHandled();
}

void TProgrammerDriver::RequestSignature() {
  Log(TLogText::ReadingSignature);
  ProtocolState = TProtocolState::AwaitSignature;
  OutReport[kCommandByte] = kCmdReadSignature;
  SendReport();
}

// --- failure paths ----------------------------------------------------------

void TProgrammerDriver::FailOperation(const std::string& message) {
  StopReplyTimer();  // the error box may stay open longer than the time-out
  try {
    FEvents->OnStepFailed(message);
  } catch (...) {
    // The error sink failing must not take the reader down either.
  }
  ErrorFlag = true;
  FFailure = TOperationResult::Error;
  try {
    FinishOperation();
  } catch (...) {
    ProtocolState = TProtocolState::Idle;
    ErrorFlag = false;
  }
}

void TProgrammerDriver::EndWithError(const std::string& message) {
  StopReplyTimer();
  FEvents->OnStepFailed(message);
  ErrorFlag = true;
  ProtocolState = TProtocolState::Idle;
}

void TProgrammerDriver::ArmReplyTimer() {
  if (FPorts.Timer == nullptr) return;
  FPorts.Timer->Start(ReplyTimeout, [this] { ReplyTimerExpired(); });
  FTimerArmed = true;
}

void TProgrammerDriver::StopReplyTimer() {
  if (!FTimerArmed) return;
  FTimerArmed = false;
  if (FPorts.Timer != nullptr) FPorts.Timer->Stop();
}

void TProgrammerDriver::ReplyTimerExpired() {
  FTimerArmed = false;
  if (ProtocolState == TProtocolState::Idle) return;
  try {
    ErrorFlag = true;
    FFailure = TOperationResult::NoReply;
    Log(TLogText::NoReply);
    FinishOperation();
  } catch (const std::exception& e) {
    FailOperation(e.what());
  } catch (...) {
    FailOperation("Unexpected error while ending the operation.");
  }
}

}  // namespace quenvar
