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
  if (FPorts.FPort == nullptr) return;
  // Stop the deliveries first: releasing the device drains its pending reports.
  FPorts.FPort->DriverGone();
  if (FProgrammerDevice != nullptr) FPorts.FPort->ReleaseProgrammer(FProgrammerDevice);
}

void TProgrammerDriver::Log(TLogText text, std::vector<std::string> args) {
  FEvents->OnLogLine(TLogLine{text, std::move(args)});
}

void TProgrammerDriver::Progress(std::int64_t position, std::int64_t maximum) {
  FEvents->OnProgress(position, maximum);
}

std::int64_t TProgrammerDriver::BufferLength() const {
  return FPorts.FBuffer != nullptr ? FPorts.FBuffer->DataLength() : 0;
}

void TProgrammerDriver::StartOperation(TRequestedOperation operation) {
  FRequestedOperation = operation;
  FLastRefusal.reset();
  FEvents->OnOperationStarted(operation);
  FErrorFlag = false;
  FFailure.reset();
  FStartTime = FNow();
  if (FIspMode) {
    if (FRequestedOperation == TRequestedOperation::WriteFuses)
      StartWriteFuses();
    else
      RequestSignature();
  } else if (FSocketMode) {
    switch (FRequestedOperation) {
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
  if (FProtocolState != TProtocolState::Idle) ArmReplyTimer();
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
  if (FProtocolState != TProtocolState::Idle)
    ArmReplyTimer();
  else
    StopReplyTimer();
}

void TProgrammerDriver::HandleReply(std::span<const std::uint8_t> data) {
  // Fixed-size copy so that no step reads past the end of a short reply.
  std::array<std::uint8_t, 64> reply{};
  for (std::size_t i = 0; i < reply.size() && i < data.size(); ++i) reply[i] = data[i];
  const std::uint8_t code = reply[0];

  if (FProtocolState != TProtocolState::Reading) {
    if (code == kReplyNextChunk) {
      FillNextChunk();
    } else if (code == kReplyFailed) {
      FErrorFlag = true;
      FProtocolState = TProtocolState::Idle;
    }
  }

  switch (FProtocolState) {
    case TProtocolState::AwaitSignature:
      if (code == kReplySignature) {
        IdentifyChip(reply);
        ContinueAfterIdentification();
      }
      break;
    case TProtocolState::AwaitErase:
      if (code == kReplyErased) {
        if (FRequestedOperation == TRequestedOperation::Erase)
          FProtocolState = TProtocolState::Idle;
        else if (FRequestedOperation == TRequestedOperation::ProgramFlash)
          StartWriteFlash();
      }
      break;
    case TProtocolState::Writing:
      if (code == kReplyWritten) {
        if (FRequestedOperation != TRequestedOperation::ProgramEeprom && FVerifyAfterProgram)
          StartVerify();
        else
          FProtocolState = TProtocolState::Idle;
      }
      break;
    case TProtocolState::Verifying:
      if (code == kReplyVerified) FProtocolState = TProtocolState::Idle;
      break;
    case TProtocolState::AwaitFuseWrite:
      if (code == kReplyFusesWritten) FProtocolState = TProtocolState::Idle;
      break;
    case TProtocolState::AwaitFuseRead:
      if (code == kReplyFusesRead) {
        // The reply as it came: bytes a short report lacks change no box.
        if (FIspMode) ShowFuses(data);
        ProceedWithOperation();
      }
      break;
    case TProtocolState::Reading:
      ReadDataStep(data);
      break;
    case TProtocolState::Idle:
      break;
  }

  if (FProtocolState == TProtocolState::Idle) FinishOperation();
}

void TProgrammerDriver::ContinueAfterIdentification() {
  if (FErrorFlag) {
    FIdentifiedChip = nullptr;
    FProtocolState = TProtocolState::Idle;
    return;
  }
  if (FIspMode && ChipNeedsFuseRead()) {
    StartReadFuses();
    return;
  }
  ProceedWithOperation();
}

void TProgrammerDriver::ProceedWithOperation() {
  if (!ImageFitsChip()) return;
  switch (FRequestedOperation) {
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
      FProtocolState = TProtocolState::Idle;
      break;
  }
}

void TProgrammerDriver::FinishOperation() {
  FProtocolState = TProtocolState::Idle;
  StopReplyTimer();
  Log(TLogText::Blank);
  Log(FErrorFlag ? TLogText::Error : TLogText::Success);
  AddDurationLine();
  const TOperationResult result =
      FErrorFlag ? FFailure.value_or(TOperationResult::Error) : TOperationResult::Success;
  FErrorFlag = false;
  FFailure.reset();
  FEvents->OnFinished(result);
}

void TProgrammerDriver::AddDurationLine() {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(FNow() - FStartTime);
  const std::int64_t ms = std::llabs(static_cast<long long>(elapsed.count()));
  Log(TLogText::Duration, {FormatDuration(ms)});
}

void TProgrammerDriver::DeviceChange() {
  if (FProgrammerDevice != nullptr && !FProgrammerDevice->PluggedIn()) {
    // The operation, if any, is abandoned: nothing more can come from this device.
    const bool running = FProtocolState != TProtocolState::Idle;
    StopReplyTimer();
    IProgrammerDevice* gone = FProgrammerDevice;
    FProgrammerDevice = nullptr;
    if (FPorts.FPort != nullptr) FPorts.FPort->ReleaseProgrammer(gone);
    FEvents->OnProgrammerLost();
    if (running) FEvents->OnFinished(TOperationResult::Abandoned);
  }
  if (FProgrammerDevice == nullptr) {
    if (FPorts.FPort != nullptr)
      FProgrammerDevice = FPorts.FPort->ClaimProgrammer(kProgrammerVendorId, kProgrammerProductId);
    if (FProgrammerDevice != nullptr)
      FEvents->OnProgrammerClaimed();
    else
      FEvents->OnProgrammerMissing();
  }
  FEvents->OnDeviceChangeHandled();
}

void TProgrammerDriver::RequestSignature() {
  Log(TLogText::ReadingSignature);
  FProtocolState = TProtocolState::AwaitSignature;
  FOutReport[kCommandByte] = kCmdReadSignature;
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
  FErrorFlag = true;
  FFailure = TOperationResult::Error;
  try {
    FinishOperation();
  } catch (...) {
    FProtocolState = TProtocolState::Idle;
    FErrorFlag = false;
  }
}

void TProgrammerDriver::EndWithError(const std::string& message) {
  StopReplyTimer();
  FEvents->OnStepFailed(message);
  FErrorFlag = true;
  FProtocolState = TProtocolState::Idle;
}

void TProgrammerDriver::ArmReplyTimer() {
  if (FPorts.FTimer == nullptr) return;
  FPorts.FTimer->Start(FReplyTimeout, [this] { ReplyTimerExpired(); });
  FTimerArmed = true;
}

void TProgrammerDriver::StopReplyTimer() {
  if (!FTimerArmed) return;
  FTimerArmed = false;
  if (FPorts.FTimer != nullptr) FPorts.FTimer->Stop();
}

void TProgrammerDriver::ReplyTimerExpired() {
  FTimerArmed = false;
  if (FProtocolState == TProtocolState::Idle) return;
  try {
    FErrorFlag = true;
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
