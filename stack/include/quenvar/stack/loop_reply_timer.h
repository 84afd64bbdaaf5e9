#pragma once
// The driver's reply time-out on the stack's event loop. It runs exactly while
// the driver waits for a reply, that is while an operation runs.

#include <chrono>
#include <functional>

#include "quenvar/core/driver_ports.h"
#include "quenvar/stack/event_loop.h"

namespace quenvar {

class TLoopReplyTimer final : public IReplyTimer {
 public:
  explicit TLoopReplyTimer(IEventLoop& loop) : FLoop(loop) {}
  ~TLoopReplyTimer() override;
  TLoopReplyTimer(const TLoopReplyTimer&) = delete;
  TLoopReplyTimer& operator=(const TLoopReplyTimer&) = delete;

  void Start(std::chrono::milliseconds timeout, std::function<void()> onExpired) override;
  void Stop() override;
  bool Running() const { return FId != 0; }

  // The driver waits no more: the operation has ended, timed out or was
  // abandoned. Runs inside the driver's step, so it must not re-enter it.
  std::function<void()> FOnIdle;

 private:
  IEventLoop& FLoop;
  int FId = 0;
};

}  // namespace quenvar
