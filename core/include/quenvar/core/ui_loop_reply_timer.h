#pragma once
// The reply timer on a TUiLoop (command line and tests; the Qt window uses a QTimer).

#include "quenvar/core/driver_ports.h"
#include "quenvar/hid/ui_loop.h"

namespace quenvar {

class TUiLoopReplyTimer final : public IReplyTimer {
 public:
  explicit TUiLoopReplyTimer(TUiLoop& loop) : FLoop(loop) {}
  ~TUiLoopReplyTimer() override { Stop(); }
  TUiLoopReplyTimer(const TUiLoopReplyTimer&) = delete;
  TUiLoopReplyTimer& operator=(const TUiLoopReplyTimer&) = delete;

  void Start(std::chrono::milliseconds timeout, std::function<void()> onExpired) override {
    Stop();
    FId = FLoop.StartTimer(static_cast<int>(timeout.count()), [this, fn = std::move(onExpired)] {
      FId = 0;
      auto call = fn;  // the loop may drop its copy while this runs
      call();
    });
  }

  void Stop() override {
    if (FId != 0) FLoop.StopTimer(FId);
    FId = 0;
  }

 private:
  TUiLoop& FLoop;
  int FId = 0;
};

}  // namespace quenvar
