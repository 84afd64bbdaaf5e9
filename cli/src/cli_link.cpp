#include "cli_link.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <system_error>

#include "cli_stop.h"
#include "cli_texts.h"
#include "programmer_list.h"
#include "quenvar/core/log_line.h"

namespace quenvar {

namespace {

constexpr auto kLoopSlice = std::chrono::milliseconds(50);

std::string SystemText(int code) {
  return std::make_error_code(static_cast<std::errc>(code)).message();
}

std::string Ids(const THidAttributes& a) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", a.FVendorID, a.FProductID);
  return text;
}

// The operations the window shows its progress window for.
bool ShowsProgress(TRequestedOperation operation) {
  switch (operation) {
    case TRequestedOperation::ProgramFlash:
    case TRequestedOperation::ProgramEeprom:
    case TRequestedOperation::Verify:
    case TRequestedOperation::ReadFlash:
    case TRequestedOperation::ReadEeprom:
      return true;
    default:
      return false;
  }
}

}  // namespace

TCliLink::TCliLink(const TCliOptions& options, const TCliEnvironment& env, TCliStop& stop,
                   std::ostream& out, std::ostream& err)
    : FOptions(options),
      FEnv(env),
      FStop(stop),
      FOut(out),
      FErr(err),
      FBar(err, env.FErrIsTerminal && !options.FQuiet) {}

TCliLink::~TCliLink() {
  if (FStack.HasDriver()) FStack.Driver().SetListener(nullptr);
}

int TCliLink::Open() {
  if (FStack.IsOpen()) return kCliOk;
  TStackOptions options;
  if (FOptions.FSimulate) options.FSimulate = FOptions.FSimulateText;
  options.FRealTimingByDefault = false;
  options.FMakeBackend = FEnv.FMakeBackend;
  options.FOnWaitForState = [this](const std::string& state) {
    FErr << Text(cli_texts::kStateBusy, {state}) << '\n';
    FErr.flush();
    // Nothing has started yet, so Ctrl+C may end the wait at once.
    if (FEnv.FStopEndsAtOnce) FEnv.FStopEndsAtOnce(true);
  };
  options.FOnStateFileDone = [this] {
    if (FEnv.FStopEndsAtOnce) FEnv.FStopEndsAtOnce(false);
  };
  const TResult<void> opened = FStack.Open(options);
  if (opened) return kCliOk;
  const TError& error = opened.Error();
  if (error.FKind == TErrorKind::BadOption) {
    FErr << "quenvar-cli: --simulate: " << error.FText << '\n';
    return kCliUsageOrFile;
  }
  if (error.FKind == TErrorKind::Unsupported) {
    FErr << Text(cli_texts::kNoBackend) << '\n';
    return kCliNoProgrammer;
  }
  FErr << "quenvar-cli: " << error.FText << '\n';
  // The simulator's state file is the user's to fix; a controller that fails is not.
  return IsSimulatorError(error) ? kCliUsageOrFile : kCliOperationFailed;
}

int TCliLink::StartSession() {
  if (FStack.HasDriver()) return kCliOk;
  if (const int status = Open(); status != kCliOk) return status;

  TProgrammerDriver& driver = FStack.StartDriver(FEditor);
  driver.SetListener(this);
  if (FOptions.FTimeout) driver.FReplyTimeout = *FOptions.FTimeout;
  // A locked chip tells no sizes: never erase it on the way to a write.
  driver.FRefuseLockedChip = true;
  driver.SetVerifyAfterProgram(FOptions.FVerify);
  // --programmer SEL: that one, wherever it is in the list.
  if (!FOptions.FProduction.FProgrammers.empty()) {
    const TProgrammerSelection chosen =
        SelectProgrammers(FOptions.FProduction.FProgrammers, ListProgrammers(FStack.Controller()));
    if (!chosen.FError.empty()) {
      FErr << chosen.FError << '\n';
      return kCliNoProgrammer;
    }
    if (chosen.FChosen.empty()) return ReportMissingProgrammer();
    FStack.PinTo(chosen.FChosen.front().FIdentityPath);
  }
  // Claims the programmer, as the main window does while it is built.
  FStack.Attach();
  if (FOptions.FEepromIndex)
    driver.SelectEeprom(*FOptions.FEepromIndex);
  else
    driver.SelectIsp();

  if (!driver.HasProgrammer()) return ReportMissingProgrammer();
  TJvHidDevice* device = FStack.ClaimedDevice();
  device->Capabilities();  // opens the device once, which tells the access we get
  if (!device->ReadWriteAccess()) {
    FErr << Text(cli_texts::kQueryOnly,
                 {device->PnPInfo().FDevicePath, SystemText(device->ReadWriteError())})
         << '\n';
    return kCliNoProgrammer;
  }
  return kCliOk;
}

std::string TCliLink::Text(const TLangText& text,
                           std::initializer_list<std::string_view> args) const {
  return cli_texts::Fill(text, FOptions.FLanguageIndex, args);
}

int TCliLink::ReportMissingProgrammer() {
  FErr << Text(cli_texts::kNoProgrammer) << '\n';
  if (!FStack.Controller().Bound()) FErr << Text(cli_texts::kCannotList) << '\n';
  return kCliNoProgrammer;
}

int TCliLink::List() {
  TJvHidDeviceController& controller = FStack.Controller();
  IHidBackend& backend = controller.Backend();
  const auto& devices = controller.DeviceList();
  if (!controller.Bound()) {
    FErr << Text(cli_texts::kCannotList) << '\n';
    return kCliNoProgrammer;
  }
  if (devices.empty()) {
    FOut << "no HID interfaces found\n";
    return kCliOk;
  }
  auto print = [&](const std::string& number, const TJvHidDevice* dev) {
    const std::string& path = dev->PnPInfo().FDevicePath;
    std::string access;
    auto rw = backend.Open(path, THidAccess::ReadWrite);
    if (rw) {
      backend.Close(*rw);
      access = "read-write";
    } else {
      const int code = rw.Error().FCode;
      auto query = backend.Open(path, THidAccess::QueryOnly);
      if (query) {
        backend.Close(*query);
        access = "query-only";
      } else {
        access = "no access";
      }
      if (code != 0) access += " (" + SystemText(code) + ")";
    }
    const std::string& serial = dev->PnPInfo().FSerial;
    FOut << number << "  " << Ids(dev->Attributes()) << "  " << dev->PnPInfo().FIdentityPath << "  "
         << (serial.empty() ? "-" : serial) << "  " << access << '\n';
  };
  // The programmers first, by the numbers --programmer takes; other interfaces unnumbered.
  const std::vector<TListedProgrammer> programmers = ListProgrammers(controller);
  for (const TListedProgrammer& programmer : programmers)
    print(std::to_string(programmer.FNumber), programmer.FDevice);
  for (const TJvHidDevice* dev : devices)
    if (std::none_of(programmers.begin(), programmers.end(),
                     [dev](const TListedProgrammer& p) { return p.FDevice == dev; }))
      print("-", dev);
  return kCliOk;
}

void TCliLink::Flush(std::size_t upTo) {
  upTo = std::min(upTo, FLog.size());
  if (FPrinted >= upTo) return;
  FBar.Clear();
  for (; FPrinted < upTo; ++FPrinted) FOut << FLog[FPrinted] << '\n';
  FOut.flush();
}

TCliLink::TOutcome TCliLink::Run(TRequestedOperation operation) {
  TProgrammerDriver& driver = Driver();
  // A further operation means the command goes on: what it held is final.
  EndCommand(true);
  FBar.Restart();
  if (!driver.Offers(operation)) {
    // The window would show the control greyed; nothing was sent.
    FErr << Text(cli_texts::kNotAvailable) << '\n';
    return TOutcome::NotAvailable;
  }
  // Refused before the start: nothing ran, and the log is the last operation's.
  if (WritesImage(operation) && !driver.AdmitImage(operation)) return TOutcome::Failed;

  FResult.reset();
  FGauge.FShown = ShowsProgress(operation);
  driver.StartOperation(operation);
  const auto all = static_cast<std::size_t>(-1);
  bool abandoned = false;
  while (!FResult && driver.ProtocolStateValue() != TProtocolState::Idle) {
    Flush(all);
    if (FStop.Abandon(&FBar)) {
      abandoned = true;
      break;
    }
    if (FGauge.FShown && FGauge.FPosition > 0) FBar.Update(FGauge.FPosition, FGauge.FMax);
    FLoop.Loop().ProcessEvents(kLoopSlice);
  }
  FStop.Requested(&FBar);
  FBar.Clear();
  if (abandoned) {
    Flush(all);
    return TOutcome::Abandoned;
  }

  // An operation ends with an empty line, the result and the duration.
  if (FResult == TOperationResult::Success) {
    const std::size_t closing = FLog.size() >= 3 ? FLog.size() - 3 : 0;
    Flush(closing);
    FHeld.assign(FLog.begin() + static_cast<std::ptrdiff_t>(closing), FLog.end());
    return TOutcome::Success;
  }
  Flush(all);
  if (FResult && FResult != TOperationResult::Abandoned) return TOutcome::Failed;
  // Pulled out mid-operation: the window abandons it without a result line.
  FErr << Text(cli_texts::kProgrammerGone) << '\n';
  return TOutcome::Lost;
}

void TCliLink::EndCommand(bool succeeded) {
  if (succeeded && !FHeld.empty()) {
    for (const std::string& line : FHeld) FOut << line << '\n';
    FOut.flush();
  }
  FHeld.clear();
}

int TCliLink::SaveSimulatorState() {
  const TResult<void> saved = FStack.SaveSimulatorState();
  if (saved) return kCliOk;
  FErr << "quenvar-cli: " << saved.Error().FText << '\n';
  return kCliUsageOrFile;
}

// --- the driver's events -------------------------------------------------------

void TCliLink::OnOperationStarted(TRequestedOperation /*operation*/) {
  FLog.clear();
  FPrinted = 0;
}

void TCliLink::OnLogLine(const TLogLine& line) {
  FLog.push_back(RenderLogLine(line, FOptions.FLanguageIndex));
}

void TCliLink::OnProgress(std::int64_t position, std::int64_t maximum) {
  FGauge.FMax = std::max<std::int64_t>(maximum, 0);
  FGauge.FPosition = std::clamp<std::int64_t>(position, 0, FGauge.FMax);
}

void TCliLink::OnStepFailed(const std::string& text) {
  // A locked chip has no sizes; the command says so itself.
  if (ChipLocked()) return;
  FBar.Clear();
  FErr << text << '\n';
}

void TCliLink::OnDeviceChangeHandled() {
  // Any device change closes the window's progress window.
  if (!FGauge.FShown) return;
  FGauge.FShown = false;
  FGauge.FPosition = 0;
}

void TCliLink::OnFinished(TOperationResult result) {
  FResult = result;
  FGauge.FPosition = 0;
  FGauge.FShown = false;
}

}  // namespace quenvar
