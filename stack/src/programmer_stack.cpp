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

std::optional<TStackError> TProgrammerStack::OpenSimulator(const TStackOptions& options) {
  TSimExpected<TSimConfig> config = ParseSimConfig(*options.Simulate);
  if (!config) return TStackError{TStackError::TKind::SimulatorText, config.Error};
  if (!options.RealTimingByDefault && !SimTextNamesTiming(*options.Simulate))
    config.Value->RealTiming = false;
  std::function<void()> onWait;
  if (options.OnWaitForState)
    onWait = [&options, path = config.Value->StatePath] { options.OnWaitForState(path); };
  TSimExpected<TSimGang> gang = TSimGang::FromConfig(*config.Value, onWait);
  if (options.OnStateFileDone) options.OnStateFileDone();
  if (!gang) return TStackError{TStackError::TKind::SimulatorState, gang.Error};
  FSimGang = std::make_unique<TSimGang>(std::move(*gang.Value));
  auto backend = std::make_shared<TSimHidBackend>();
  for (const TSimGangMember& member : FSimGang->Programmers())
    backend->Plug(kProgrammerVendorId, kProgrammerProductId, member.Programmer, 0x0100,
                  SimIdentityPath(member.Number));
  FBackend = std::move(backend);
  return std::nullopt;
}

std::optional<TStackError> TProgrammerStack::Open(const TStackOptions& options) {
  if (FController) return std::nullopt;
  if (options.Simulate) {
    if (auto error = OpenSimulator(options)) return error;
  } else if (options.MakeBackend) {
    FBackend = options.MakeBackend();
  }
  if (!FBackend)
    return TStackError{TStackError::TKind::NoBackend,
                       "this build has no HID backend; use --simulate"};

  auto controller = TJvHidDeviceController::Create(FBackend, FLoop.Poster());
  if (!controller) return TStackError{TStackError::TKind::Controller, controller.Error().Text};
  FController = std::move(controller.Value());
  if (IHidChangeSource* source = FBackend->ChangeSource())
    FWatch = FLoop.WatchChanges(*source, [this] { FController->DeviceChange(); });
  return std::nullopt;
}

TSimProgrammer* TProgrammerStack::Simulator() const {
  if (!FSimGang || FSimGang->Programmers().empty()) return nullptr;
  return FSimGang->Programmers().front().Programmer.get();
}

TSimProgrammer* TProgrammerStack::SimulatorAt(const std::string& identityPath) const {
  if (!FSimGang) return nullptr;
  for (const TSimGangMember& member : FSimGang->Programmers())
    if (SimIdentityPath(member.Number) == identityPath) return member.Programmer.get();
  return nullptr;
}

std::optional<std::string> TProgrammerStack::SaveSimulatorState() const {
  if (!FSimGang) return std::nullopt;
  const TSimResult saved = FSimGang->SaveState();
  if (saved) return std::nullopt;
  return saved.Error;
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
