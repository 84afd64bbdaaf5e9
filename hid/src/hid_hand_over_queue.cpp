#include "hid_hand_over_queue.h"

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
  std::unique_lock<std::mutex> g(Lock);
  Changed.wait(g, [&] { return item.Done; });
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
        item->Done = true;
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
    Running->Done = true;
    Running = nullptr;
  }
  Changed.notify_all();
}

}  // namespace quenvar
