#include "cli_link.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ostream>
#include <system_error>

#include "cli_stop.h"
#include "cli_texts.h"
#include "quenvar/core/chip_texts.h"
#include "quenvar/core/driver_texts.h"
#include "quenvar/core/protocol.h"
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

TCliLink::TCliLink(const TCliOptions& options, const TCliEnvironment& env, TCliStop& stop,
                   std::ostream& out, std::ostream& err)
    : FOptions(options),
      FEnv(env),
      FStop(stop),
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
          FErr << Text(cli_texts::kStateBusy, {state}) << '\n';
          FErr.flush();
          // Nothing has started yet, so Ctrl+C may end the wait at once.
          if (FEnv.StopEndsAtOnce) FEnv.StopEndsAtOnce(true);
        });
    if (FEnv.StopEndsAtOnce) FEnv.StopEndsAtOnce(false);
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
    FErr << Text(cli_texts::kNoBackend) << '\n';
    return kCliNoProgrammer;
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
    // A locked chip has no sizes; the command says so itself.
    if (ChipLocked()) return;
    FBar.Clear();
    FErr << text << '\n';
  };
  FEditor.OnChange = [this](TCustomMPHexEditor&) { HexeditorChange(); };
  if (FOptions.Timeout) s.ReplyTimeout = *FOptions.Timeout;
  s.SetLanguageIndex(FOptions.LanguageIndex);
  // A locked chip tells no sizes: never erase it on the way to a write.
  s.RefuseLockedChip = true;
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
    FErr << Text(cli_texts::kQueryOnly,
                 {device->PnPInfo().DevicePath, SystemText(device->ReadWriteError())})
         << '\n';
    return kCliNoProgrammer;
  }
  return kCliOk;
}

void TCliLink::HexeditorChange() {
  // The window's enabling after a load or a read.
  FSession->EnableBufferCommands(FEditor.DataLength());
}

std::string TCliLink::Text(const TLangText& text,
                           std::initializer_list<std::string_view> args) const {
  return cli_texts::Fill(text, FOptions.LanguageIndex, args);
}

bool TCliLink::ChipLocked() const {
  return FSession && FSession->Window().AutoDevice() == DeviceLockedText;
}

int TCliLink::ReportMissingProgrammer() {
  FErr << Text(cli_texts::kNoProgrammer) << '\n';
  if (!FController->Bound()) FErr << Text(cli_texts::kCannotList) << '\n';
  return kCliNoProgrammer;
}

int TCliLink::List() {
  IHidBackend& backend = FController->Backend();
  const auto& devices = FController->DeviceList();
  if (!FController->Bound()) {
    FErr << Text(cli_texts::kCannotList) << '\n';
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
  // A further operation means the command goes on: what it held is final.
  EndCommand(true);
  FBar.Restart();
  if (!start()) {
    // The window would show the control greyed; nothing was sent.
    FErr << Text(cli_texts::kNotAvailable) << '\n';
    return TOutcome::NotAvailable;
  }
  // Refused before the start: nothing ran, and the log is the last operation's.
  if (s.LastRefusal() && s.ProtocolStateValue() == TProtocolState::Idle) return TOutcome::Failed;

  // The log is cleared when an operation starts, so everything in it now is new.
  std::size_t printed = 0;
  auto flush = [&](std::size_t upTo) {
    const auto& log = s.Window().Verlauf();
    if (printed > log.size()) printed = 0;
    upTo = std::min(upTo, log.size());
    if (printed >= upTo) return;
    FBar.Clear();
    for (; printed < upTo; ++printed) FOut << log[printed] << '\n';
    FOut.flush();
  };
  const auto all = static_cast<std::size_t>(-1);
  // A replug shows as a new identity: a second programmer claimed in the
  // meantime must not keep us waiting for the abandoned operation.
  auto identity = [this]() -> std::string {
    const TJvHidDevice* device = FPort->ClaimedDevice();
    return device != nullptr ? device->PnPInfo().DevInst : std::string();
  };
  const std::string claimed = identity();
  bool abandoned = false;
  while (s.ProtocolStateValue() != TProtocolState::Idle && identity() == claimed) {
    flush(all);
    if (FStop.Abandon(&FBar)) {
      abandoned = true;
      break;
    }
    const TProgressWindow& progress = s.Window().Progress();
    if (progress.Shown && progress.GaugePosition > 0)
      FBar.Update(progress.GaugePosition, progress.GaugeMax);
    FLoop->ProcessEvents(kLoopSlice);
  }
  FStop.Requested(&FBar);
  FBar.Clear();
  if (abandoned) {
    flush(all);
    return TOutcome::Abandoned;
  }

  // An operation ends with an empty line, the result and the duration.
  const auto& log = s.Window().Verlauf();
  const std::uint8_t lang = s.LanguageIndexValue();
  const std::string* result = log.size() >= 2 ? &log[log.size() - 2] : nullptr;
  if (result != nullptr && *result == Pick(texts::kSuccess, lang)) {
    const std::size_t closing = log.size() >= 3 ? log.size() - 3 : 0;
    flush(closing);
    FHeld.assign(log.begin() + static_cast<std::ptrdiff_t>(closing), log.end());
    return TOutcome::Success;
  }
  flush(all);
  if (result != nullptr && *result == Pick(texts::kError, lang)) return TOutcome::Failed;
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
  if (!FSim) return kCliOk;
  TSimResult saved = FSim->SaveState();
  if (saved) return kCliOk;
  FErr << "quenvar-cli: " << saved.Error << '\n';
  return kCliUsageOrFile;
}

}  // namespace quenvar
