#include "quenvar/stack/programmer_stack.h"

#include <cctype>

#include "quenvar/core/protocol.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/sim/sim_config.h"
#include "quenvar/sim/sim_gang.h"
#include "quenvar/sim/sim_programmer.h"

namespace quenvar {

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

std::string SimIdentityPath(std::uint32_t number) {
  return "/sim/port" + std::to_string(number);
}

bool IsSimulatorError(const TError& error) {
  return error.FKind != TErrorKind::Unsupported && error.FKind != TErrorKind::Device;
}

TProgrammerStack::TProgrammerStack(IEventLoop& loop) : FLoop(loop) {}

TProgrammerStack::~TProgrammerStack() {
  // Reverse order of wiring: the driver gives the programmer back (which stops
  // its reader) before the controller and the watch go.
  FDriver.reset();
  FTimer.reset();
  FPort.reset();
  if (FWatch != 0) FLoop.UnwatchChanges(FWatch);
  FController.reset();
  FBackend.reset();
  FSimGang.reset();
}

TResult<void> TProgrammerStack::OpenSimulator(const TStackOptions& options) {
  TResult<TSimConfig> config = ParseSimConfig(*options.FSimulate);
  if (!config) return config.Error();
  if (!options.FRealTimingByDefault && !SimTextNamesTiming(*options.FSimulate))
    config->FRealTiming = false;
  std::function<void()> onWait;
  if (options.FOnWaitForState)
    onWait = [&options, path = config->FStatePath] { options.FOnWaitForState(path); };
  TResult<TSimGang> gang = TSimGang::FromConfig(*config, onWait);
  if (options.FOnStateFileDone) options.FOnStateFileDone();
  if (!gang) return gang.Error();
  FSimGang = std::make_unique<TSimGang>(std::move(gang.Value()));
  auto backend = std::make_shared<TSimHidBackend>();
  for (const TSimGangMember& member : FSimGang->Programmers())
    backend->Plug(kProgrammerVendorId, kProgrammerProductId, member.FProgrammer, 0x0100,
                  SimIdentityPath(member.FNumber));
  FBackend = std::move(backend);
  return {};
}

TResult<void> TProgrammerStack::Open(const TStackOptions& options) {
  if (FController) return {};
  if (options.FSimulate) {
    if (TResult<void> opened = OpenSimulator(options); !opened) return opened;
  } else if (options.FMakeBackend) {
    FBackend = options.FMakeBackend();
  }
  if (!FBackend)
    return TError{TErrorKind::Unsupported, "this build has no HID backend; use --simulate"};

  auto controller = TJvHidDeviceController::Create(FBackend, FLoop.Poster());
  if (!controller) return controller.Error();
  FController = std::move(controller.Value());
  if (IHidChangeSource* source = FBackend->ChangeSource())
    FWatch = FLoop.WatchChanges(*source, [this] { FController->DeviceChange(); });
  return {};
}

TSimProgrammer* TProgrammerStack::Simulator() const {
  if (!FSimGang || FSimGang->Programmers().empty()) return nullptr;
  return FSimGang->Programmers().front().FProgrammer.get();
}

TSimProgrammer* TProgrammerStack::SimulatorAt(const std::string& identityPath) const {
  if (!FSimGang) return nullptr;
  for (const TSimGangMember& member : FSimGang->Programmers())
    if (SimIdentityPath(member.FNumber) == identityPath) return member.FProgrammer.get();
  return nullptr;
}

TResult<void> TProgrammerStack::SaveSimulatorState() const {
  if (!FSimGang) return {};
  return FSimGang->SaveState();
}

TProgrammerDriver& TProgrammerStack::StartDriver(TCustomMPHexEditor& editor) {
  FPort = std::make_unique<THidProgrammerPort>(*FController);
  FBuffer = std::make_unique<THexEditorBuffer>(editor);
  FTimer = std::make_unique<TLoopReplyTimer>(FLoop);
  FDriver = std::make_unique<TProgrammerDriver>(
      TProgrammerDriver::TPorts{FPort.get(), FBuffer.get(), FTimer.get()});
  return *FDriver;
}

void TProgrammerStack::Attach() {
  FPort->Attach(*FDriver);
}

TJvHidDevice* TProgrammerStack::ClaimedDevice() const {
  return FPort ? FPort->ClaimedDevice() : nullptr;
}

}  // namespace quenvar
