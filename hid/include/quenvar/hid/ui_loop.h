#pragma once
// A small event loop for tests and the command line (the Qt application posts
// through its own event loop instead). The thread that creates it is its UI
// thread; ProcessEvents and RunUntil must be called there.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "quenvar/hid/hid_backend.h"
#include "quenvar/hid/jv_hid_device.h"

namespace quenvar {

class TUiLoop {
 public:
  TUiLoop();
  ~TUiLoop();
  TUiLoop(const TUiLoop&) = delete;
  TUiLoop& operator=(const TUiLoop&) = delete;

  // Thread-safe; fn runs on the UI thread in posting order.
  void Post(std::function<void()> fn);
  // Runs fn on the UI thread and waits for it (directly when called there).
  // An exception thrown by fn is rethrown to the caller.
  void Invoke(const std::function<void()>& fn);
  // The function to give a TJvHidDeviceController: posts hand-overs to this loop.
  TJvHidPostFn Poster();

  // Runs what is due; waits up to `timeout` for the first event. Returns the
  // number of posted functions, timers and change bursts handled.
  int ProcessEvents(std::chrono::milliseconds timeout);
  // Processes events until pred() holds (checked after every event); false on timeout.
  bool RunUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

  // Single-shot timers, UI thread only.
  int StartTimer(int ms, std::function<void()> fn);
  void StopTimer(int id);

  // Follows a change source: after each burst of notifications `onChange`
  // runs once on the UI thread. The source must outlive the watch.
  int WatchChanges(IHidChangeSource& source, std::function<void()> onChange);
  void UnwatchChanges(int id);

  bool IsUiThread() const { return std::this_thread::get_id() == FOwner; }

 private:
  // Shared with posting functions and wakeups handed out, so that a late post
  // from another thread after the loop is gone is harmless.
  struct TShared;
  struct TWatch {
    IHidChangeSource* FSource = nullptr;
    std::function<void()> FOnChange;
  };
  struct TTimer {
    std::chrono::steady_clock::time_point FDue;
    std::function<void()> FFn;
  };
  int RunDue();

  std::thread::id FOwner;
  std::shared_ptr<TShared> FShared;
  std::map<int, TWatch> FWatches;
  std::map<int, TTimer> FTimers;
  int FNextTimer = 1;
  int FNextWatch = 1;
};

}  // namespace quenvar
