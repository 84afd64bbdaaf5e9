#include "hid_hand_over_queue.h"

#include <chrono>
#include <thread>

namespace {
constexpr std::chrono::microseconds kSpin{30};
}  // namespace

namespace quenvar {

bool THidHandOverQueue::HandOver(std::function<void()> call, const TJvHidPostFn& post) {
  TItem item;
  item.FCall = std::move(call);
  {
    std::lock_guard<std::mutex> g(FLock);
    FPending.push_back(&item);
  }
  FChanged.notify_all();
  if (post) post([self = shared_from_this()] { self->Drain(); });
  // A handler usually returns within microseconds; a short spin saves the
  // reader a sleep and a wake-up per report.
  const auto spinUntil = std::chrono::steady_clock::now() + kSpin;
  while (!item.FDone.load(std::memory_order_acquire) &&
         std::chrono::steady_clock::now() < spinUntil)
    std::this_thread::yield();
  std::unique_lock<std::mutex> g(FLock);
  FChanged.wait(g, [&] { return item.FDone.load(std::memory_order_acquire); });
  return !item.FFailed;
}

void THidHandOverQueue::Drain() {
  for (;;) {
    TItem* item = nullptr;
    std::function<void()> call;
    {
      std::lock_guard<std::mutex> g(FLock);
      if (FPending.empty()) return;
      item = FPending.front();
      FPending.pop_front();
      FRunning = item;
      // The item lives on the reader's stack; once it is marked done it may
      // vanish, so the call runs from here.
      call = std::move(item->FCall);
    }
    bool failed = false;
    try {
      call();
    } catch (...) {
      failed = true;
    }
    {
      std::lock_guard<std::mutex> g(FLock);
      if (FRunning == item) {
        item->FFailed = failed;
        item->FDone.store(true, std::memory_order_release);
        FRunning = nullptr;
      }
    }
    FChanged.notify_all();
  }
}

void THidHandOverQueue::ServeUntil(const std::function<bool()>& finished) {
  for (;;) {
    Drain();
    std::unique_lock<std::mutex> g(FLock);
    if (finished()) return;
    FChanged.wait(g, [&] { return !FPending.empty() || finished(); });
    if (FPending.empty()) return;
  }
}

void THidHandOverQueue::Wake() {
  { std::lock_guard<std::mutex> g(FLock); }
  FChanged.notify_all();
}

void THidHandOverQueue::ReleaseRunning() {
  {
    std::lock_guard<std::mutex> g(FLock);
    if (!FRunning) return;
    FRunning->FDone.store(true, std::memory_order_release);
    FRunning = nullptr;
  }
  FChanged.notify_all();
}

}  // namespace quenvar
