#pragma once
// The whole stack on a UI loop of its own: the simulated programmer plugged
// into a simulated HID backend that is injected as the platform's, the
// controller, the port, the reply timer and the driver over a hex editor's
// buffer. Simulator timing is off unless the configuration asks for it.
// No GoogleTest here: the benchmarks build on it too.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/core/protocol.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/sim/sim_programmer.h"
#include "quenvar/stack/event_loop.h"
#include "quenvar/stack/programmer_stack.h"

namespace quenvar::test {

inline TSimConfig WithoutTiming(TSimConfig config = {}) {
  config.FRealTiming = false;
  return config;
}

class TSimStack {
 public:
  explicit TSimStack(const TSimConfig& config = WithoutTiming())
      : TSimStack(std::make_shared<TSimProgrammer>(config)) {}
  // `model` is what is plugged in, e.g. a wrapper around the programmer;
  // empty: the programmer itself.
  explicit TSimStack(std::shared_ptr<TSimProgrammer> programmer,
                     std::shared_ptr<ISimDeviceModel> model = nullptr)
      : FProgrammer(std::move(programmer)), FModel(model ? std::move(model) : FProgrammer) {
    FPlug = FBackend->Plug(kProgrammerVendorId, kProgrammerProductId, FModel);
    TStackOptions options;
    options.FMakeBackend = [backend = FBackend] { return backend; };
    if (const TResult<void> opened = FStack.Open(options); !opened)
      throw std::runtime_error(opened.Error().FText);
    FDriver = &FStack.StartDriver(FEditor);
  }
  TSimStack(const TSimStack&) = delete;
  TSimStack& operator=(const TSimStack&) = delete;

  TProgrammerDriver& Driver() { return *FDriver; }
  // The first device change: the driver claims the programmer. Set its
  // listener before.
  void Attach() { FStack.Attach(); }

  bool Idle() const { return FDriver->ProtocolStateValue() == TProtocolState::Idle; }
  bool RunUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    return FLoop.Loop().RunUntil([this] { return Idle(); }, timeout);
  }
  std::vector<std::uint8_t> Content() const {
    return std::vector<std::uint8_t>(FEditor.Data().begin(), FEditor.Data().end());
  }
  // Output reports the programmer got since it was last plugged in.
  std::size_t Written() const { return FBackend->WrittenReports(FPlug).size(); }

  // Plugs the same programmer in again after a pulled cable and waits for the claim.
  bool Replug(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    FPlug = FBackend->Plug(kProgrammerVendorId, kProgrammerProductId, FModel);
    return FLoop.Loop().RunUntil([this] { return FDriver->HasProgrammer(); }, timeout);
  }

  // Runs the loop until nothing has arrived for `quiet` and no report waits in
  // the device, so that late duplicates of a finished operation are not taken
  // for the next one's replies. A loaded machine may take longer than `quiet`
  // to hand a waiting report over, so the queue is asked, not the clock.
  void Drain(std::chrono::milliseconds quiet) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((FLoop.Loop().ProcessEvents(quiet) > 0 || FBackend->PendingInputReports(FPlug) > 0) &&
           std::chrono::steady_clock::now() < deadline) {
    }
  }

  std::shared_ptr<TSimHidBackend> FBackend = std::make_shared<TSimHidBackend>();
  std::shared_ptr<TSimProgrammer> FProgrammer;
  std::shared_ptr<ISimDeviceModel> FModel;
  TSimHidBackend::TPlugHandle FPlug = 0;
  // The stack goes before the editor and the loop it works on.
  TCustomMPHexEditor FEditor;
  TUiEventLoop FLoop;
  TProgrammerStack FStack{FLoop};

 private:
  TProgrammerDriver* FDriver = nullptr;
};

}  // namespace quenvar::test
