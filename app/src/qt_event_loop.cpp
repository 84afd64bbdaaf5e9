#include "quenvar/app/qt_event_loop.h"

#include <QMetaObject>
#include <QPointer>
#include <utility>

namespace quenvar {

TQtEventLoop::~TQtEventLoop() {
  // Nothing may be posted to a dead context.
  for (auto& [id, watch] : FWatches) watch.Source->SetWakeup(nullptr);
  FWatches.clear();
  FTimers.clear();
}

TJvHidPostFn TQtEventLoop::Poster() {
  QPointer<QObject> context(&FContext);
  return [context](std::function<void()> Fn) {
    if (context) QMetaObject::invokeMethod(context, std::move(Fn), Qt::QueuedConnection);
  };
}

int TQtEventLoop::WatchChanges(IHidChangeSource& Source, std::function<void()> OnChange) {
  const int id = FNextId++;
  TWatch& watch = FWatches[id];
  watch.Source = &Source;
  watch.OnChange = std::move(OnChange);
  // Wakeups may come from any thread; the rescan runs on this one.
  Source.SetWakeup([post = Poster(), this, id] { post([this, id] { ChangeNoticed(id); }); });
  if (Source.PollFd() >= 0) {
    watch.Notifier = std::make_unique<QSocketNotifier>(Source.PollFd(), QSocketNotifier::Read);
    QObject::connect(watch.Notifier.get(), &QSocketNotifier::activated, &FContext,
                     [this, id] { ChangeNoticed(id); });
  }
  return id;
}

void TQtEventLoop::UnwatchChanges(int Id) {
  const auto found = FWatches.find(Id);
  if (found == FWatches.end()) return;
  found->second.Source->SetWakeup(nullptr);
  FWatches.erase(found);
}

void TQtEventLoop::ChangeNoticed(int Id) {
  const auto found = FWatches.find(Id);
  // One rescan per burst of notifications.
  if (found == FWatches.end() || !found->second.Source->Drain()) return;
  auto onChange = found->second.OnChange;
  onChange();
}

int TQtEventLoop::StartTimer(std::chrono::milliseconds Timeout, std::function<void()> OnExpired) {
  const int id = FNextId++;
  auto timer = std::make_unique<QTimer>();
  timer->setSingleShot(true);
  QObject::connect(timer.get(), &QTimer::timeout, &FContext,
                   [this, id, expired = std::move(OnExpired)] {
                     const auto found = FTimers.find(id);
                     if (found == FTimers.end()) return;
                     // The timer goes once its signal has returned.
                     found->second.release()->deleteLater();
                     FTimers.erase(found);
                     auto call = expired;
                     call();
                   });
  timer->start(static_cast<int>(Timeout.count()));
  FTimers[id] = std::move(timer);
  return id;
}

void TQtEventLoop::StopTimer(int Id) {
  FTimers.erase(Id);
}

}  // namespace quenvar
