#include "cli_link.h"

#include <cctype>
#include <cstdio>
#include <ostream>
#include <system_error>

#include "quenvar/core/driver_texts.h"
#include "quenvar/core/protocol.h"
#if defined(__linux__)
#include "quenvar/hid/hidraw_backend.h"
#endif
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/sim/sim_config.h"
#include "quenvar/sim/sim_programmer.h"

namespace quenvar {

namespace {

constexpr auto kLoopSlice = std::chrono::milliseconds(50);

std::string SystemText(int code) {
  return std::make_error_code(static_cast<std::errc>(code)).message();
}

std::string Ids(const THidAttributes& a) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", a.VendorID, a.ProductID);
  return text;
}

}  // namespace

bool SimTextNamesTiming(std::string_view text) {
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    item = item.substr(0, item.find('='));
    std::string key;
    for (char c : item)
      if (c != ' ' && c != '\t')
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key == "timing") return true;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return false;
}

TCliLink::TCliLink(const TCliOptions& options, const TCliEnvironment& env, std::ostream& out,
                   std::ostream& err)
    : FOptions(options),
      FEnv(env),
      FOut(out),
      FErr(err),
      FBar(err, env.ErrIsTerminal && !options.Quiet) {}

TCliLink::~TCliLink() {
  FEditor.OnChange = nullptr;
  // Reverse order of wiring: the session gives the programmer back (which
  // stops its reader) before the controller and the loop go.
  FSession.reset();
  FTimer.reset();
  FPort.reset();
  FController.reset();
  if (FLoop && FWatch != 0) FLoop->UnwatchChanges(FWatch);
  FLoop.reset();
  FBackend.reset();
}

int TCliLink::Open() {
  if (FController) return kCliOk;
  if (FOptions.Simulate) {
    TSimExpected<TSimConfig> config = ParseSimConfig(FOptions.SimulateText);
    if (!config) {
      FErr << "quenvar-cli: --simulate: " << config.Error << '\n';
      return kCliUsageOrFile;
    }
    if (!SimTextNamesTiming(FOptions.SimulateText)) config.Value->RealTiming = false;
    const std::string& state = config.Value->StatePath;
    TSimExpected<std::shared_ptr<TSimProgrammer>> sim =
        TSimProgrammer::FromConfig(*config.Value, [this, &state] {
          FErr << "quenvar-cli: " << state
               << ": waiting until another program is done with this state file\n";
          FErr.flush();
        });
    if (!sim) {
      FErr << "quenvar-cli: " << sim.Error << '\n';
      return kCliUsageOrFile;
    }
    FSim = *sim.Value;
    auto backend = std::make_shared<TSimHidBackend>();
    backend->Plug(kProgrammerVendorId, kProgrammerProductId, FSim);
    FBackend = std::move(backend);
  } else if (FEnv.MakeBackend) {
    FBackend = FEnv.MakeBackend();
  } else {
#if defined(__linux__)
    FBackend = std::make_shared<THidrawBackend>();
#else
    FErr << "quenvar-cli: this build has no HID backend; use --simulate\n";
    return kCliNoProgrammer;
#endif
  }

  FLoop = std::make_unique<TUiLoop>();
  auto controller = TJvHidDeviceController::Create(FBackend, FLoop->Poster());
  if (!controller) {
    FErr << "quenvar-cli: " << controller.Error().Text << '\n';
    return kCliOperationFailed;
  }
  FController = std::move(controller.Value());
  if (IHidChangeSource* source = FBackend->ChangeSource())
    FWatch = FLoop->WatchChanges(*source, [this] { FController->DeviceChange(); });
  return kCliOk;
}

int TCliLink::StartSession() {
  if (FSession) return kCliOk;
  if (const int status = Open(); status != kCliOk) return status;

  FPort = std::make_unique<THidProgrammerPort>(*FController);
  FTimer = std::make_unique<TUiLoopReplyTimer>(*FLoop);
  FSession = std::make_unique<TProgrammerSession>(
      TProgrammerSession::TPorts{FPort.get(), &FBuffer, nullptr, FTimer.get()});
  TProgrammerSession& s = *FSession;
  s.OnError = [this](const std::string& text) {
    FBar.Clear();
    FErr << text << '\n';
  };
  FEditor.OnChange = [this](TCustomMPHexEditor&) { HexeditorChange(); };
  if (FOptions.Timeout) s.ReplyTimeout = *FOptions.Timeout;
  s.SetLanguageIndex(FOptions.LanguageIndex);
  s.Window().SetChecked("nverifyprogramm", FOptions.Verify);
  // Claims the programmer, as the main window does while it is built.
  FPort->Attach(s);
  if (FOptions.EepromIndex)
    s.SelectEepromType(*FOptions.EepromIndex);
  else
    s.nAVRISPClick();

  if (!s.HasProgrammer()) return ReportMissingProgrammer();
  TJvHidDevice* device = FPort->ClaimedDevice();
  device->Capabilities();  // opens the device once, which tells the access we get
  if (!device->ReadWriteAccess()) {
    FErr << "quenvar-cli: " << device->PnPInfo().DevicePath << ": the programmer can only be "
         << "queried (" << SystemText(device->ReadWriteError())
         << "); install the udev rule 70-quenvar.rules\n";
    return kCliNoProgrammer;
  }
  return kCliOk;
}

void TCliLink::HexeditorChange() {
  // The window's enabling after a load or a read.
  FSession->EnableBufferCommands(FEditor.DataLength());
}

int TCliLink::ReportMissingProgrammer() {
  FErr << texts::kProgrammerMissing << '\n';
  if (!FController->Bound()) FErr << "quenvar-cli: the system's HID devices cannot be listed\n";
  return kCliNoProgrammer;
}

int TCliLink::List() {
  IHidBackend& backend = FController->Backend();
  const auto& devices = FController->DeviceList();
  if (!FController->Bound()) {
    FErr << "quenvar-cli: the system's HID devices cannot be listed\n";
    return kCliNoProgrammer;
  }
  if (devices.empty()) {
    FOut << "no HID interfaces found\n";
    return kCliOk;
  }
  for (const TJvHidDevice* dev : devices) {
    const std::string& path = dev->PnPInfo().DevicePath;
    std::string access;
    auto rw = backend.Open(path, THidAccess::ReadWrite);
    if (rw) {
      backend.Close(*rw);
      access = "read-write";
    } else {
      const int code = rw.Error().Code;
      auto query = backend.Open(path, THidAccess::QueryOnly);
      if (query) {
        backend.Close(*query);
        access = "query-only";
      } else {
        access = "no access";
      }
      if (code != 0) access += " (" + SystemText(code) + ")";
    }
    FOut << Ids(dev->Attributes()) << "  " << path << "  " << access << '\n';
  }
  return kCliOk;
}

TCliLink::TOutcome TCliLink::Run(const std::function<bool()>& start) {
  TProgrammerSession& s = *FSession;
  FBar.Restart();
  if (!start()) {
    // The window would show the control greyed; nothing was sent.
    FErr << "quenvar-cli: the operation cannot be started for this target\n";
    return TOutcome::NotAvailable;
  }

  // The log is cleared when an operation starts, so everything in it now is new.
  std::size_t printed = 0;
  auto flush = [&] {
    const auto& log = s.Window().Verlauf();
    if (printed > log.size()) printed = 0;
    if (printed == log.size()) return;
    FBar.Clear();
    for (; printed < log.size(); ++printed) FOut << log[printed] << '\n';
    FOut.flush();
  };
  // A replug shows as a new identity: a second programmer claimed in the
  // meantime must not keep us waiting for the abandoned operation.
  auto identity = [this]() -> std::string {
    const TJvHidDevice* device = FPort->ClaimedDevice();
    return device != nullptr ? device->PnPInfo().DevInst : std::string();
  };
  const std::string claimed = identity();
  for (;;) {
    flush();
    if (s.ProtocolStateValue() == TProtocolState::Idle || identity() != claimed) break;
    const TProgressWindow& progress = s.Window().Progress();
    if (progress.Shown && progress.GaugePosition > 0)
      FBar.Update(progress.GaugePosition, progress.GaugeMax);
    FLoop->ProcessEvents(kLoopSlice);
  }
  flush();
  FBar.Clear();

  const auto& log = s.Window().Verlauf();
  const std::uint8_t lang = s.LanguageIndexValue();
  if (log.size() >= 2) {
    const std::string& result = log[log.size() - 2];
    if (result == Pick(texts::kSuccess, lang)) return TOutcome::Success;
    if (result == Pick(texts::kError, lang)) return TOutcome::Failed;
  }
  // Pulled out mid-operation: the window abandons it without a result line.
  FErr << texts::kProgrammerMissing << '\n';
  return TOutcome::Lost;
}

int TCliLink::SaveSimulatorState() {
  if (!FSim) return kCliOk;
  TSimResult saved = FSim->SaveState();
  if (saved) return kCliOk;
  FErr << "quenvar-cli: " << saved.Error << '\n';
  return kCliUsageOrFile;
}

}  // namespace quenvar
