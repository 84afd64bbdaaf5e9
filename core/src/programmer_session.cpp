#include "quenvar/core/programmer_session.h"

#include <array>
#include <cstdlib>
#include <exception>
#include <string>
#include <utility>

#include "quenvar/core/eeprom_types.h"

namespace quenvar {

namespace {

constexpr const char* kOperationButtons[] = {"bProg",       "bVerify",       "bRead",
                                             "bErase",      "bDetectDevice", "bWriteFuse",
                                             "bprogeeprom", "breadeeprom"};
constexpr const char* kOperationMenus[] = {"nFile", "nBuffer", "nDevice", "nChose"};

// "12.34 s": whole seconds, then hundredths cut off (not rounded).
std::string FormatDuration(std::int64_t milliseconds) {
  const std::int64_t hundredths = (milliseconds % 1000) / 10;
  std::string text = std::to_string(milliseconds / 1000);
  text += '.';
  if (hundredths < 10) text += '0';
  text += std::to_string(hundredths);
  text += " s";
  return text;
}

}  // namespace

TProgrammerSession::TProgrammerSession(TPorts ports) : FPorts(ports) {}

TProgrammerSession::~TProgrammerSession() {
  StopReplyTimer();
  if (FPorts.Port == nullptr) return;
  // Stop the deliveries first: releasing the device drains its pending reports.
  FPorts.Port->SessionGone();
  if (ProgrammerDevice != nullptr) FPorts.Port->ReleaseProgrammer(ProgrammerDevice);
}

bool TProgrammerSession::Click(std::string_view name) {
  if (!FWindow.Reachable(name)) return false;
  using THandler = void (TProgrammerSession::*)();
  struct TRoute {
    std::string_view Name;
    THandler Handler;
  };
  static constexpr TRoute kRoutes[] = {
      {"bProg", &TProgrammerSession::bProgClick},
      {"nprogflash", &TProgrammerSession::bProgClick},
      {"bVerify", &TProgrammerSession::bVerifyClick},
      {"nverifyflash", &TProgrammerSession::bVerifyClick},
      {"bRead", &TProgrammerSession::bReadClick},
      {"nreadflash", &TProgrammerSession::bReadClick},
      {"bErase", &TProgrammerSession::bEraseClick},
      {"nErase", &TProgrammerSession::bEraseClick},
      {"bprogeeprom", &TProgrammerSession::bprogeepromClick},
      {"nprogeeprom", &TProgrammerSession::bprogeepromClick},
      {"breadeeprom", &TProgrammerSession::breadeepromClick},
      {"nreadeeprom", &TProgrammerSession::breadeepromClick},
      {"bDetectDevice", &TProgrammerSession::bDetectDeviceClick},
      {"nDetectDevice", &TProgrammerSession::bDetectDeviceClick},
      {"bWriteFuse", &TProgrammerSession::bWriteFuseClick},
      // The menu twin of bWriteFuse: enabled and translated with it, so it
      // starts the same operation rather than doing nothing.
      {"nWritefuse", &TProgrammerSession::bWriteFuseClick},
      {"nAVRISP", &TProgrammerSession::nAVRISPClick},
  };
  for (const TRoute& route : kRoutes) {
    if (route.Name == name) {
      (this->*route.Handler)();
      return true;
    }
  }
  const auto types = EepromTypes();
  for (std::size_t i = 0; i < types.size(); ++i) {
    if (name == types[i].MenuName) {
      SelectEepromType(i);
      return true;
    }
  }
  return false;
}

// --- click handlers -------------------------------------------------------

void TProgrammerSession::ShowProgressFor(std::string_view label, bool onlyWithoutError) {
  if (!onlyWithoutError || !ErrorFlag) FWindow.SetProgressLabel(std::string(label));
  FWindow.ShowProgress();
  FWindow.SetMainWindowEnabled(false);
}

void TProgrammerSession::bProgClick() {
  if (!AdmitImage(TRequestedOperation::ProgramFlash)) return;
  RequestedOperation = TRequestedOperation::ProgramFlash;
  ShowProgressFor(texts::kLabelProgramFlash, true);
  StartOperation();
}

void TProgrammerSession::bVerifyClick() {
  if (!AdmitImage(TRequestedOperation::Verify)) return;
  RequestedOperation = TRequestedOperation::Verify;
  ShowProgressFor(texts::kLabelVerify, true);
  StartOperation();
}

void TProgrammerSession::bprogeepromClick() {
  if (!AdmitImage(TRequestedOperation::ProgramEeprom)) return;
  RequestedOperation = TRequestedOperation::ProgramEeprom;
  ShowProgressFor(texts::kLabelProgramEeprom, true);
  StartOperation();
}

void TProgrammerSession::bReadClick() {
  RequestedOperation = TRequestedOperation::ReadFlash;
  ShowProgressFor(texts::kLabelReadFlash, false);
  StartOperation();
}

void TProgrammerSession::breadeepromClick() {
  RequestedOperation = TRequestedOperation::ReadEeprom;
  ShowProgressFor(texts::kLabelReadEeprom, false);
  StartOperation();
}

void TProgrammerSession::bEraseClick() {
  RequestedOperation = TRequestedOperation::Erase;
  StartOperation();
}

void TProgrammerSession::bWriteFuseClick() {
  if (!ConfirmFuseWrite()) return;
  RequestedOperation = TRequestedOperation::WriteFuses;
  StartOperation();
}

void TProgrammerSession::bDetectDeviceClick() {
  RequestedOperation = TRequestedOperation::DetectDevice;
  StartOperation();
}

// --- driver ---------------------------------------------------------------

void TProgrammerSession::StartOperation() {
  FLastRefusal.reset();
  DisableControls();
  ErrorFlag = false;
  FWindow.ClearLog();
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

void TProgrammerSession::HidData(std::uint8_t /*reportId*/, std::span<const std::uint8_t> data) {
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

void TProgrammerSession::HandleReply(std::span<const std::uint8_t> data) {
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
        if (RequestedOperation != TRequestedOperation::ProgramEeprom &&
            FWindow.Checked("nverifyprogramm"))
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
        if (FWindow.Checked("nAVRISP")) ShowFuses(data);
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

void TProgrammerSession::ContinueAfterIdentification() {
  if (ErrorFlag) {
    FWindow.SetAutoDevice(std::string(Text(texts::kChipError)));
    FWindow.SetCodeSize("");
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

void TProgrammerSession::ProceedWithOperation() {
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

void TProgrammerSession::FinishOperation() {
  ProtocolState = TProtocolState::Idle;
  StopReplyTimer();
  FWindow.AddLine("");
  FWindow.AddLine(std::string(Text(ErrorFlag ? texts::kError : texts::kSuccess)));
  EnableControls();
  AddDurationLine();
  FWindow.SetGaugePosition(0);
  ErrorFlag = false;
  FWindow.SetMainWindowEnabled(true);
  FWindow.CloseProgress();
}

void TProgrammerSession::AddDurationLine() {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Now() - StartTime);
  const std::int64_t ms = std::llabs(static_cast<long long>(elapsed.count()));
  std::string line(Text(texts::kDuration));
  line += FormatDuration(ms);
  FWindow.AddLine(std::move(line));
}

void TProgrammerSession::DisableControls() {
  FWindow.ClearLog();
  for (const char* name : kOperationButtons) FWindow.SetEnabled(name, false);
  for (const char* name : kOperationMenus) FWindow.SetEnabled(name, false);
  // The menu twin of bWriteFuse goes with it.
  FWindow.SetEnabled("nWritefuse", false);
  FWindow.SetEnabled("FuseList", false);
}

void TProgrammerSession::EnableControls() {
  const bool hasData = FPorts.Buffer != nullptr && FPorts.Buffer->DataLength() > 0;
  if (hasData) {
    FWindow.SetEnabled("bProg", true);
    FWindow.SetEnabled("bVerify", true);
    if (FWindow.Enabled("nprogeeprom")) FWindow.SetEnabled("bprogeeprom", true);
  }
  FWindow.SetEnabled("bErase", true);
  if (FWindow.Enabled("nreadeeprom")) FWindow.SetEnabled("breadeeprom", true);
  if (FWindow.Checked("nAVRISP")) {
    FWindow.SetEnabled("bDetectDevice", true);
    FWindow.SetEnabled("nDetectDevice", true);
  }
  FWindow.SetEnabled("bRead", true);
  for (const char* name : {"nFile", "nBuffer", "nChose", "nDevice"}) FWindow.SetEnabled(name, true);
  FWindow.SetEnabled("FuseList", true);
}

void TProgrammerSession::EnableBufferCommands(std::int64_t dataLength) {
  if (dataLength <= 0) return;
  for (const char* name : {"nsave", "bProg", "bVerify", "nprogflash", "nverifyflash"})
    FWindow.SetEnabled(name, true);
  if (FWindow.Enabled("nreadeeprom")) {
    FWindow.SetEnabled("nprogeeprom", true);
    FWindow.SetEnabled("bprogeeprom", true);
  }
}

void TProgrammerSession::HidCtlDeviceChange() {
  if (ProgrammerDevice != nullptr && !ProgrammerDevice->PluggedIn()) {
    // The operation, if any, is abandoned: nothing more can come from this device.
    StopReplyTimer();
    IProgrammerDevice* gone = ProgrammerDevice;
    ProgrammerDevice = nullptr;
    if (FPorts.Port != nullptr) FPorts.Port->ReleaseProgrammer(gone);
    DisableControls();
    FWindow.SetStatusPanel(0, std::string(texts::kProgrammerMissing));
  }
  if (ProgrammerDevice == nullptr) {
    if (FPorts.Port != nullptr)
      ProgrammerDevice = FPorts.Port->ClaimProgrammer(kProgrammerVendorId, kProgrammerProductId);
    if (ProgrammerDevice != nullptr) {
      EnableControls();
      FWindow.SetStatusPanel(0, std::string(texts::kProgrammerReady));
    } else {
      DisableControls();
      FWindow.SetStatusPanel(0, std::string(texts::kProgrammerMissing));
    }
  }
  if (!FWindow.MainWindowEnabled()) {
    FWindow.SetMainWindowEnabled(true);
    FWindow.SetGaugePosition(0);
    FWindow.CloseProgress();
  }
}

void TProgrammerSession::RequestSignature() {
  FWindow.AddLine(std::string(Text(texts::kReadSignature)));
  ProtocolState = TProtocolState::AwaitSignature;
  OutReport[kCommandByte] = kCmdReadSignature;
  SendReport();
}

// --- failure paths ----------------------------------------------------------

void TProgrammerSession::FailOperation(const std::string& message) {
  StopReplyTimer();  // the error box may stay open longer than the timeout
  try {
    if (OnError) OnError(message);
  } catch (...) {
    // The error sink failing must not take the reader down either.
  }
  ErrorFlag = true;
  try {
    FinishOperation();
  } catch (...) {
    ProtocolState = TProtocolState::Idle;
    ErrorFlag = false;
  }
}

void TProgrammerSession::ArmReplyTimer() {
  if (FPorts.Timer == nullptr) return;
  FPorts.Timer->Start(ReplyTimeout, [this] { ReplyTimerExpired(); });
  FTimerArmed = true;
}

void TProgrammerSession::StopReplyTimer() {
  if (!FTimerArmed) return;
  FTimerArmed = false;
  if (FPorts.Timer != nullptr) FPorts.Timer->Stop();
}

void TProgrammerSession::ReplyTimerExpired() {
  FTimerArmed = false;
  if (ProtocolState == TProtocolState::Idle) return;
  try {
    ErrorFlag = true;
    FWindow.AddLine(std::string(Text(texts::kNoReply)));
    FinishOperation();
  } catch (const std::exception& e) {
    FailOperation(e.what());
  } catch (...) {
    FailOperation("Unexpected error while ending the operation.");
  }
}

}  // namespace quenvar
