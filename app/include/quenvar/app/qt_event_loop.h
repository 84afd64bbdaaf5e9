#pragma once

// The stack's event loop on Qt's: hand-overs from the HID readers are queued
// calls, a pollable change source gets a socket notifier, and timers are
// single-shot QTimers.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "quenvar/stack/event_loop.h"

namespace quenvar {

class TQtEventLoop final : public IEventLoop {
 public:
  TQtEventLoop() = default;
  ~TQtEventLoop() override;
  TQtEventLoop(const TQtEventLoop&) = delete;
  TQtEventLoop& operator=(const TQtEventLoop&) = delete;

  TJvHidPostFn Poster() override;
  int WatchChanges(IHidChangeSource& source, std::function<void()> onChange) override;
  void UnwatchChanges(int id) override;
  int StartTimer(std::chrono::milliseconds timeout, std::function<void()> onExpired) override;
  void StopTimer(int id) override;

 private:
  struct TWatch {
    IHidChangeSource* FSource = nullptr;
    std::function<void()> FOnChange;
    std::unique_ptr<QSocketNotifier> FNotifier;
  };
  void ChangeNoticed(int id);

  QObject FContext;  // queued calls die with it
  std::map<int, TWatch> FWatches;
  std::map<int, std::unique_ptr<QTimer>> FTimers;
  int FNextId = 1;
};

}  // namespace quenvar
