#include "hid_hand_over_queue.h"

#include <chrono>
#include <thread>

namespace {
constexpr std::chrono::microseconds kSpin{30};
}  // namespace

namespace quenvar {

bool THidHandOverQueue::HandOver(std::function<void()> call, const TJvHidPostFn& post) {
  TItem item;
  item.Call = std::move(call);
  {
    std::lock_guard<std::mutex> g(Lock);
    Pending.push_back(&item);
  }
  Changed.notify_all();
  if (post) post([self = shared_from_this()] { self->Drain(); });
  // A handler usually returns within microseconds; a short spin saves the
  // reader a sleep and a wake-up per report.
  const auto spinUntil = std::chrono::steady_clock::now() + kSpin;
  while (!item.Done.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < spinUntil)
    std::this_thread::yield();
  std::unique_lock<std::mutex> g(Lock);
  Changed.wait(g, [&] { return item.Done.load(std::memory_order_acquire); });
  return !item.Failed;
}

void THidHandOverQueue::Drain() {
  for (;;) {
    TItem* item = nullptr;
    std::function<void()> call;
    {
      std::lock_guard<std::mutex> g(Lock);
      if (Pending.empty()) return;
      item = Pending.front();
      Pending.pop_front();
      Running = item;
      // The item lives on the reader's stack; once it is marked done it may
      // vanish, so the call runs from here.
      call = std::move(item->Call);
    }
    bool failed = false;
    try {
      call();
    } catch (...) {
      failed = true;
    }
    {
      std::lock_guard<std::mutex> g(Lock);
      if (Running == item) {
        item->Failed = failed;
        item->Done.store(true, std::memory_order_release);
        Running = nullptr;
      }
    }
    Changed.notify_all();
  }
}

void THidHandOverQueue::ServeUntil(const std::function<bool()>& finished) {
  for (;;) {
    Drain();
    std::unique_lock<std::mutex> g(Lock);
    if (finished()) return;
    Changed.wait(g, [&] { return !Pending.empty() || finished(); });
    if (Pending.empty()) return;
  }
}

void THidHandOverQueue::Wake() {
  { std::lock_guard<std::mutex> g(Lock); }
  Changed.notify_all();
}

void THidHandOverQueue::ReleaseRunning() {
  {
    std::lock_guard<std::mutex> g(Lock);
    if (!Running) return;
    Running->Done.store(true, std::memory_order_release);
    Running = nullptr;
  }
  Changed.notify_all();
}

}  // namespace quenvar
