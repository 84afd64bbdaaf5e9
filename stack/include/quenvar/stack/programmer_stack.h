#pragma once
// Everything between a front end and the programmer, wired once: the HID
// backend (the platform's, or the simulated programmer), the controller, the
// port the driver claims the programmer through, the reply timer and the
// protocol driver over the memory buffer. The window, the command line, the
// tests and the benchmarks all build it here.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "quenvar/base/result.h"
#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/core/programmer_driver.h"
#include "quenvar/hid/hid_backend.h"
#include "quenvar/hid/jv_hid_device_controller.h"
#include "quenvar/stack/event_loop.h"
#include "quenvar/stack/hex_editor_buffer.h"
#include "quenvar/stack/hid_programmer_port.h"
#include "quenvar/stack/loop_reply_timer.h"

namespace quenvar {

class TSimProgrammer;
class TSimGang;

struct TStackOptions {
  // The text of --simulate (empty for the defaults); nothing for the platform backend.
  std::optional<std::string> FSimulate;
  // Without "timing=" in that text: the simulator's real delays, or none.
  bool FRealTimingByDefault = true;
  // Another program holds the simulator's state file (named): runs once before the wait.
  std::function<void(const std::string& statePath)> FOnWaitForState;
  // The simulator's state file has been read, or refused: the wait is over.
  std::function<void()> FOnStateFileDone;
  // The platform's HID backend, made by the program (hidraw on Linux); empty:
  // this build has none.
  std::function<std::shared_ptr<IHidBackend>()> FMakeBackend;
};

// Whether a simulator text names its timing.
bool SimTextNamesTiming(std::string_view text);

// Where simulated programmer `number` (from 1) is plugged in.
std::string SimIdentityPath(std::uint32_t number);
// Whether an error of TProgrammerStack::Open is the simulator's: its text or its state file.
bool IsSimulatorError(const TError& error);

class TProgrammerStack {
 public:
  explicit TProgrammerStack(IEventLoop& loop);
  ~TProgrammerStack();
  TProgrammerStack(const TProgrammerStack&) = delete;
  TProgrammerStack& operator=(const TProgrammerStack&) = delete;

  // The backend and the controller, which scans at once. Fails as BadOption
  // when --simulate does not parse, with a file kind or BadContent when the
  // simulator's state file cannot be used, as Unsupported without a simulator
  // or a platform backend, and as Device when the controller cannot be made.
  TResult<void> Open(const TStackOptions& options);
  bool IsOpen() const { return FController != nullptr; }
  TJvHidDeviceController& Controller() { return *FController; }
  // The simulated programmer behind --simulate (the first of several), or null.
  TSimProgrammer* Simulator() const;
  // The simulated programmer plugged in at this identity path, or null.
  TSimProgrammer* SimulatorAt(const std::string& identityPath) const;
  IEventLoop& EventLoop() { return FLoop; }
  // Writes the simulated chips to the state file --simulate named, if any.
  // The error's text names the file.
  TResult<void> SaveSimulatorState() const;

  // The port, the reply timer and the driver over the editor's buffer, after
  // Open. The driver claims nothing before Attach, so its listener can be set first.
  TProgrammerDriver& StartDriver(TCustomMPHexEditor& editor);
  bool HasDriver() const { return FDriver != nullptr; }
  TProgrammerDriver& Driver() { return *FDriver; }
  TLoopReplyTimer& ReplyTimer() { return *FTimer; }
  // The driver claims only the programmer plugged in at this identity path;
  // before Attach.
  void PinTo(std::string identityPath) { FPort->PinTo(std::move(identityPath)); }
  // The controller's data and device-change events go to the driver from now
  // on; the first device change (and so the claim) happens at once.
  void Attach();
  // The claimed HID device, or null.
  TJvHidDevice* ClaimedDevice() const;

 private:
  TResult<void> OpenSimulator(const TStackOptions& options);

  IEventLoop& FLoop;
  std::shared_ptr<IHidBackend> FBackend;
  std::unique_ptr<TSimGang> FSimGang;
  std::unique_ptr<TJvHidDeviceController> FController;
  int FWatch = 0;
  std::unique_ptr<THidProgrammerPort> FPort;
  std::unique_ptr<THexEditorBuffer> FBuffer;
  std::unique_ptr<TLoopReplyTimer> FTimer;
  std::unique_ptr<TProgrammerDriver> FDriver;
};

}  // namespace quenvar
