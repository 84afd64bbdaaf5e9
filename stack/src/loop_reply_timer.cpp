#include "quenvar/stack/loop_reply_timer.h"

#include <utility>

namespace quenvar {

TLoopReplyTimer::~TLoopReplyTimer() {
  FOnIdle = nullptr;
  Stop();
}

void TLoopReplyTimer::Start(std::chrono::milliseconds timeout, std::function<void()> onExpired) {
  if (FId != 0) FLoop.StopTimer(FId);
  FId = FLoop.StartTimer(timeout, [this, expired = std::move(onExpired)] {
    FId = 0;
    auto call = expired;  // the loop may drop its copy while this runs
    call();
    // The handler may have started the timer again for the next reply.
    if (FId == 0 && FOnIdle) FOnIdle();
  });
}

void TLoopReplyTimer::Stop() {
  if (FId == 0) return;
  FLoop.StopTimer(FId);
  FId = 0;
  if (FOnIdle) FOnIdle();
}

}  // namespace quenvar
