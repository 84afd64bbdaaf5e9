// Arrivals and removals: the configuration manager's notifications where the
// system has them, else a rescan on a timer that compares what is present.
// Either way a change counts until the UI thread drains it, and the wakeup
// tells it there is one.

#include "hid_win_impl.h"
#include "quenvar/fileio/utf16.h"

namespace quenvar {

using namespace win;

void THidWinBackend::TImpl::StartWatching(const TApiPtr& api, const TWinGuid& hidGuid) {
  if (api->FCmRegisterNotification && api->FCmUnregisterNotification) {
    TWinHandle registration = 0;
    // The callback may run before this returns; it takes Lock itself.
    const TWinDword result = api->FCmRegisterNotification(
        hidGuid, [this](TWinDword action, const std::u16string& link) { Notified(action, link); },
        &registration);
    if (result == kCrSuccess) {
      std::lock_guard<std::mutex> g(FLock);
      FMode = TChangeMode::Notification;
      FRegistration = registration;
      return;
    }
  }
  // Older systems and Wine: no notification, so look once per interval.
  std::lock_guard<std::mutex> g(FLock);
  FMode = TChangeMode::Rescan;
  FStopRescan = false;
  FRescanner = std::thread([this, api, hidGuid] { RescanLoop(api, hidGuid); });
}

void THidWinBackend::TImpl::StopWatching() {
  TApiPtr api;
  TWinHandle registration = 0;
  {
    std::lock_guard<std::mutex> g(FLock);
    api = FApi;
    registration = FRegistration;
    FRegistration = 0;
    FStopRescan = true;
    FMode = TChangeMode::None;
  }
  FRescanWake.notify_all();
  if (FRescanner.joinable()) FRescanner.join();
  // Without Lock: unregistering waits for a callback that may be waiting for it.
  if (registration != 0 && api) api->FCmUnregisterNotification(registration);
}

void THidWinBackend::TImpl::Notified(TWinDword action, const std::u16string& symbolicLink) {
  if (action == kCmNotifyActionInterfaceRemoval) {
    std::lock_guard<std::mutex> g(FLock);
    auto it = FPaths.find(win_detail::PathKey(Utf16ToUtf8(symbolicLink)));
    if (it != FPaths.end() && it->second.FPresent) {
      it->second.FPresent = false;
      ++it->second.FGeneration;
    }
  } else if (action != kCmNotifyActionInterfaceArrival) {
    return;
  }
  NoteChange();
}

void THidWinBackend::TImpl::RescanLoop(const TApiPtr& api, TWinGuid hidGuid) {
  std::unique_lock<std::mutex> g(FLock);
  for (;;) {
    if (FRescanWake.wait_for(g, FRescanInterval, [this] { return FStopRescan; })) return;
    g.unlock();
    const auto paths = ScanPaths(*api, hidGuid);
    g.lock();
    if (FStopRescan) return;
    if (!Observe(paths, nullptr)) continue;
    g.unlock();
    NoteChange();
    g.lock();
  }
}

void THidWinBackend::TImpl::NoteChange() {
  {
    std::lock_guard<std::mutex> g(FLock);
    ++FPendingChanges;
  }
  std::lock_guard<std::mutex> w(FWakeLock);
  if (FWake) FWake();
}

bool THidWinBackend::Drain() {
  std::lock_guard<std::mutex> g(FImpl->FLock);
  const bool any = FImpl->FPendingChanges > 0;
  FImpl->FPendingChanges = 0;
  return any;
}

void THidWinBackend::SetWakeup(std::function<void()> wake) {
  std::lock_guard<std::mutex> w(FImpl->FWakeLock);
  FImpl->FWake = std::move(wake);
}

}  // namespace quenvar
