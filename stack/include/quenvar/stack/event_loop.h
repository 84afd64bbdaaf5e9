#pragma once
// The event loop the stack runs on: what the HID link and the reply timer
// need from the user-interface thread. The command line, the tests and the
// benchmarks use TUiEventLoop below; the window has a Qt adapter.

#include <chrono>
#include <functional>

#include "quenvar/hid/hid_backend.h"
#include "quenvar/hid/jv_hid_device.h"
#include "quenvar/hid/ui_loop.h"

namespace quenvar {

class IEventLoop {
 public:
  virtual ~IEventLoop() = default;

  // Runs a function on the user-interface thread later; callable from any thread.
  virtual TJvHidPostFn Poster() = 0;
  // After each burst of notifications of `source`, onChange runs once on the
  // user-interface thread. The source must outlive the watch.
  virtual int WatchChanges(IHidChangeSource& source, std::function<void()> onChange) = 0;
  virtual void UnwatchChanges(int id) = 0;
  // Single-shot timers on the user-interface thread.
  virtual int StartTimer(std::chrono::milliseconds timeout, std::function<void()> onExpired) = 0;
  virtual void StopTimer(int id) = 0;
};

// The stack on a TUiLoop of its own, made on the thread that runs it.
class TUiEventLoop final : public IEventLoop {
 public:
  TUiLoop& Loop() { return FLoop; }

  TJvHidPostFn Poster() override { return FLoop.Poster(); }
  int WatchChanges(IHidChangeSource& source, std::function<void()> onChange) override {
    return FLoop.WatchChanges(source, std::move(onChange));
  }
  void UnwatchChanges(int id) override { FLoop.UnwatchChanges(id); }
  int StartTimer(std::chrono::milliseconds timeout, std::function<void()> onExpired) override {
    return FLoop.StartTimer(static_cast<int>(timeout.count()), std::move(onExpired));
  }
  void StopTimer(int id) override { FLoop.StopTimer(id); }

 private:
  TUiLoop FLoop;
};

}  // namespace quenvar
