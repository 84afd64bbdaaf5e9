#include "quenvar/app/qt_event_loop.h"

#include <QMetaObject>
#include <QPointer>
#include <utility>

namespace quenvar {

TQtEventLoop::~TQtEventLoop() {
  // Nothing may be posted to a dead context.
  for (auto& [id, watch] : FWatches) watch.FSource->SetWakeup(nullptr);
  FWatches.clear();
  FTimers.clear();
}

TJvHidPostFn TQtEventLoop::Poster() {
  QPointer<QObject> context(&FContext);
  return [context](std::function<void()> fn) {
    if (context) QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
  };
}

int TQtEventLoop::WatchChanges(IHidChangeSource& source, std::function<void()> onChange) {
  const int id = FNextId++;
  TWatch& watch = FWatches[id];
  watch.FSource = &source;
  watch.FOnChange = std::move(onChange);
  // Wakeups may come from any thread; the rescan runs on this one.
  source.SetWakeup([post = Poster(), this, id] { post([this, id] { ChangeNoticed(id); }); });
  if (source.PollFd() >= 0) {
    watch.FNotifier = std::make_unique<QSocketNotifier>(source.PollFd(), QSocketNotifier::Read);
    QObject::connect(watch.FNotifier.get(), &QSocketNotifier::activated, &FContext,
                     [this, id] { ChangeNoticed(id); });
  }
  return id;
}

void TQtEventLoop::UnwatchChanges(int id) {
  const auto found = FWatches.find(id);
  if (found == FWatches.end()) return;
  found->second.FSource->SetWakeup(nullptr);
  FWatches.erase(found);
}

void TQtEventLoop::ChangeNoticed(int id) {
  const auto found = FWatches.find(id);
  // One rescan per burst of notifications.
  if (found == FWatches.end() || !found->second.FSource->Drain()) return;
  auto onChange = found->second.FOnChange;
  onChange();
}

int TQtEventLoop::StartTimer(std::chrono::milliseconds timeout, std::function<void()> onExpired) {
  const int id = FNextId++;
  auto timer = std::make_unique<QTimer>();
  timer->setSingleShot(true);
  QObject::connect(timer.get(), &QTimer::timeout, &FContext,
                   [this, id, expired = std::move(onExpired)] {
                     const auto found = FTimers.find(id);
                     if (found == FTimers.end()) return;
                     // The timer goes once its signal has returned.
                     found->second.release()->deleteLater();
                     FTimers.erase(found);
                     auto call = expired;
                     call();
                   });
  timer->start(static_cast<int>(timeout.count()));
  FTimers[id] = std::move(timer);
  return id;
}

void TQtEventLoop::StopTimer(int id) {
  FTimers.erase(id);
}

}  // namespace quenvar
