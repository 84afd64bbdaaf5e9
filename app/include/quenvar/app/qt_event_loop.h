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
  int WatchChanges(IHidChangeSource& Source, std::function<void()> OnChange) override;
  void UnwatchChanges(int Id) override;
  int StartTimer(std::chrono::milliseconds Timeout, std::function<void()> OnExpired) override;
  void StopTimer(int Id) override;

 private:
  struct TWatch {
    IHidChangeSource* Source = nullptr;
    std::function<void()> OnChange;
    std::unique_ptr<QSocketNotifier> Notifier;
  };
  void ChangeNoticed(int Id);

  QObject FContext;  // queued calls die with it
  std::map<int, TWatch> FWatches;
  std::map<int, std::unique_ptr<QTimer>> FTimers;
  int FNextId = 1;
};

}  // namespace quenvar
