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
  std::mutex Lock;
  std::deque<std::function<void()>> Queue;
  std::set<int> WatchWoken;
  hid_detail::TUiWakeup Wake;
  bool Closed = false;
  std::atomic<bool> Posted{false};  // a cheap look without the lock

  void Wakeup() { Wake.Wake(); }
  void Post(std::function<void()> fn) {
    std::lock_guard<std::mutex> g(Lock);
    if (Closed) return;
    Queue.push_back(std::move(fn));
    Posted.store(true, std::memory_order_release);
    Wakeup();
  }
};

TUiLoop::TUiLoop() : Owner(std::this_thread::get_id()), Shared(std::make_shared<TShared>()) {}

TUiLoop::~TUiLoop() {
  for (auto& [id, w] : Watches) w.Source->SetWakeup(nullptr);
  std::lock_guard<std::mutex> g(Shared->Lock);
  Shared->Closed = true;
  Shared->Queue.clear();
}

void TUiLoop::Post(std::function<void()> fn) {
  Shared->Post(std::move(fn));
}

TJvHidPostFn TUiLoop::Poster() {
  return [shared = Shared](std::function<void()> fn) { shared->Post(std::move(fn)); };
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
  const int id = NextTimer++;
  Timers[id] =
      TTimer{std::chrono::steady_clock::now() + std::chrono::milliseconds(ms), std::move(fn)};
  return id;
}

void TUiLoop::StopTimer(int id) {
  Timers.erase(id);
}

int TUiLoop::WatchChanges(IHidChangeSource& source, std::function<void()> onChange) {
  const int id = NextWatch++;
  Watches[id] = TWatch{&source, std::move(onChange)};
  source.SetWakeup([shared = Shared, id] {
    std::lock_guard<std::mutex> g(shared->Lock);
    if (shared->Closed) return;
    shared->WatchWoken.insert(id);
    shared->Wakeup();
  });
  // Whatever happened before the watch started is not news.
  source.Drain();
  return id;
}

void TUiLoop::UnwatchChanges(int id) {
  auto it = Watches.find(id);
  if (it == Watches.end()) return;
  it->second.Source->SetWakeup(nullptr);
  Watches.erase(it);
}

int TUiLoop::RunDue() {
  int handled = 0;
  std::deque<std::function<void()>> work;
  std::set<int> woken;
  {
    std::lock_guard<std::mutex> g(Shared->Lock);
    work.swap(Shared->Queue);
    woken.swap(Shared->WatchWoken);
    Shared->Posted.store(false, std::memory_order_relaxed);
  }
  for (auto& fn : work) {
    fn();
    ++handled;
  }
  for (auto& [id, w] : Watches) {
    // One change run per burst, however many notifications the burst had.
    if (w.Source->PollFd() < 0 && !woken.count(id)) continue;
    if (w.Source->Drain()) {
      auto onChange = w.OnChange;
      onChange();
      ++handled;
    }
  }
  const auto now = std::chrono::steady_clock::now();
  std::vector<int> due;
  for (const auto& [id, t] : Timers)
    if (t.Due <= now) due.push_back(id);
  for (int id : due) {
    auto it = Timers.find(id);
    if (it == Timers.end()) continue;  // stopped by an earlier timer
    auto fn = std::move(it->second.Fn);
    Timers.erase(it);
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
    if (Shared->Posted.load(std::memory_order_acquire))
      return RunDue();
    else
      std::this_thread::yield();

  auto waitFor = timeout;
  const auto now = Clock::now();
  for (const auto& [id, t] : Timers) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t.Due - now) +
                std::chrono::milliseconds(1);
    waitFor = std::min(waitFor, std::max(left, std::chrono::milliseconds(0)));
  }
  std::vector<int> fds;
  for (const auto& [id, w] : Watches)
    if (w.Source->PollFd() >= 0) fds.push_back(w.Source->PollFd());
  Shared->Wake.Wait(waitFor, fds);
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
