#include "quenvar/hid/ui_loop.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <set>
#include <vector>

#include "ui_wakeup.h"

namespace quenvar {

struct TUiLoop::TShared {
  std::mutex FLock;
  std::deque<std::function<void()>> FQueue;
  std::set<int> FWatchWoken;
  hid_detail::TUiWakeup FWake;
  bool FClosed = false;
  std::atomic<bool> FPosted{false};  // a cheap look without the lock

  void Wakeup() { FWake.Wake(); }
  void Post(std::function<void()> fn) {
    std::lock_guard<std::mutex> g(FLock);
    if (FClosed) return;
    FQueue.push_back(std::move(fn));
    FPosted.store(true, std::memory_order_release);
    Wakeup();
  }
};

TUiLoop::TUiLoop() : FOwner(std::this_thread::get_id()), FShared(std::make_shared<TShared>()) {}

TUiLoop::~TUiLoop() {
  for (auto& [id, w] : FWatches) w.FSource->SetWakeup(nullptr);
  std::lock_guard<std::mutex> g(FShared->FLock);
  FShared->FClosed = true;
  FShared->FQueue.clear();
}

void TUiLoop::Post(std::function<void()> fn) {
  FShared->Post(std::move(fn));
}

TJvHidPostFn TUiLoop::Poster() {
  return [shared = FShared](std::function<void()> fn) { shared->Post(std::move(fn)); };
}

void TUiLoop::Invoke(const std::function<void()>& fn) {
  if (IsUiThread()) {
    fn();
    return;
  }
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  std::exception_ptr error;
  Post([&] {
    try {
      fn();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> g(m);
    done = true;
    cv.notify_all();
  });
  std::unique_lock<std::mutex> g(m);
  cv.wait(g, [&] { return done; });
  if (error) std::rethrow_exception(error);
}

int TUiLoop::StartTimer(int ms, std::function<void()> fn) {
  const int id = FNextTimer++;
  FTimers[id] =
      TTimer{std::chrono::steady_clock::now() + std::chrono::milliseconds(ms), std::move(fn)};
  return id;
}

void TUiLoop::StopTimer(int id) {
  FTimers.erase(id);
}

int TUiLoop::WatchChanges(IHidChangeSource& source, std::function<void()> onChange) {
  const int id = FNextWatch++;
  FWatches[id] = TWatch{&source, std::move(onChange)};
  source.SetWakeup([shared = FShared, id] {
    std::lock_guard<std::mutex> g(shared->FLock);
    if (shared->FClosed) return;
    shared->FWatchWoken.insert(id);
    shared->Wakeup();
  });
  // Whatever happened before the watch started is not news.
  source.Drain();
  return id;
}

void TUiLoop::UnwatchChanges(int id) {
  auto it = FWatches.find(id);
  if (it == FWatches.end()) return;
  it->second.FSource->SetWakeup(nullptr);
  FWatches.erase(it);
}

int TUiLoop::RunDue() {
  int handled = 0;
  std::deque<std::function<void()>> work;
  std::set<int> woken;
  {
    std::lock_guard<std::mutex> g(FShared->FLock);
    work.swap(FShared->FQueue);
    woken.swap(FShared->FWatchWoken);
    FShared->FPosted.store(false, std::memory_order_relaxed);
  }
  for (auto& fn : work) {
    fn();
    ++handled;
  }
  for (auto& [id, w] : FWatches) {
    // One change run per burst, however many notifications the burst had.
    if (w.FSource->PollFd() < 0 && !woken.count(id)) continue;
    if (w.FSource->Drain()) {
      auto onChange = w.FOnChange;
      onChange();
      ++handled;
    }
  }
  const auto now = std::chrono::steady_clock::now();
  std::vector<int> due;
  for (const auto& [id, t] : FTimers)
    if (t.FDue <= now) due.push_back(id);
  for (int id : due) {
    auto it = FTimers.find(id);
    if (it == FTimers.end()) continue;  // stopped by an earlier timer
    auto fn = std::move(it->second.FFn);
    FTimers.erase(it);
    fn();
    ++handled;
  }
  return handled;
}

int TUiLoop::ProcessEvents(std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  int handled = RunDue();
  if (handled > 0) return handled;

  // Hand-overs come back to back while a device talks; a short spin before
  // sleeping saves a wake-up per report.
  const auto spinUntil =
      Clock::now() + std::min<Clock::duration>(timeout, std::chrono::microseconds(30));
  while (Clock::now() < spinUntil)
    if (FShared->FPosted.load(std::memory_order_acquire))
      return RunDue();
    else
      std::this_thread::yield();

  auto waitFor = timeout;
  const auto now = Clock::now();
  for (const auto& [id, t] : FTimers) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t.FDue - now) +
                std::chrono::milliseconds(1);
    waitFor = std::min(waitFor, std::max(left, std::chrono::milliseconds(0)));
  }
  std::vector<int> fds;
  for (const auto& [id, w] : FWatches)
    if (w.FSource->PollFd() >= 0) fds.push_back(w.FSource->PollFd());
  FShared->FWake.Wait(waitFor, fds);
  return RunDue();
}

bool TUiLoop::RunUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    ProcessEvents(std::min(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now),
                           std::chrono::milliseconds(50)));
  }
  return true;
}

}  // namespace quenvar
