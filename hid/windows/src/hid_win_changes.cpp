// Arrivals and removals: the configuration manager's notifications where the
// system has them, else a rescan on a timer that compares what is present.
// Either way a change counts until the UI thread drains it, and the wakeup
// tells it there is one.

#include "hid_win_impl.h"
#include "quenvar/fileio/utf16.h"

namespace quenvar {

using namespace win;

void THidWinBackend::TImpl::StartWatching(const TApiPtr& api, const TWinGuid& hidGuid) {
  if (api->CM_Register_Notification && api->CM_Unregister_Notification) {
    TWinHandle registration = 0;
    // The callback may run before this returns; it takes Lock itself.
    const TWinDword result = api->CM_Register_Notification(
        hidGuid, [this](TWinDword action, const std::u16string& link) { Notified(action, link); },
        &registration);
    if (result == kCrSuccess) {
      std::lock_guard<std::mutex> g(Lock);
      Mode = TChangeMode::Notification;
      Registration = registration;
      return;
    }
  }
  // Older systems and Wine: no notification, so look once per interval.
  std::lock_guard<std::mutex> g(Lock);
  Mode = TChangeMode::Rescan;
  StopRescan = false;
  Rescanner = std::thread([this, api, hidGuid] { RescanLoop(api, hidGuid); });
}

void THidWinBackend::TImpl::StopWatching() {
  TApiPtr api;
  TWinHandle registration = 0;
  {
    std::lock_guard<std::mutex> g(Lock);
    api = Api;
    registration = Registration;
    Registration = 0;
    StopRescan = true;
    Mode = TChangeMode::None;
  }
  RescanWake.notify_all();
  if (Rescanner.joinable()) Rescanner.join();
  // Without Lock: unregistering waits for a callback that may be waiting for it.
  if (registration != 0 && api) api->CM_Unregister_Notification(registration);
}

void THidWinBackend::TImpl::Notified(TWinDword action, const std::u16string& symbolicLink) {
  if (action == kCmNotifyActionInterfaceRemoval) {
    std::lock_guard<std::mutex> g(Lock);
    auto it = Paths.find(win_detail::PathKey(Utf16ToUtf8(symbolicLink)));
    if (it != Paths.end() && it->second.Present) {
      it->second.Present = false;
      ++it->second.Generation;
    }
  } else if (action != kCmNotifyActionInterfaceArrival) {
    return;
  }
  NoteChange();
}

void THidWinBackend::TImpl::RescanLoop(TApiPtr api, TWinGuid hidGuid) {
  std::unique_lock<std::mutex> g(Lock);
  for (;;) {
    if (RescanWake.wait_for(g, RescanInterval, [this] { return StopRescan; })) return;
    g.unlock();
    const auto paths = ScanPaths(*api, hidGuid);
    g.lock();
    if (StopRescan) return;
    if (!Observe(paths, nullptr)) continue;
    g.unlock();
    NoteChange();
    g.lock();
  }
}

void THidWinBackend::TImpl::NoteChange() {
  {
    std::lock_guard<std::mutex> g(Lock);
    ++PendingChanges;
  }
  std::lock_guard<std::mutex> w(WakeLock);
  if (Wake) Wake();
}

bool THidWinBackend::Drain() {
  std::lock_guard<std::mutex> g(Impl->Lock);
  const bool any = Impl->PendingChanges > 0;
  Impl->PendingChanges = 0;
  return any;
}

void THidWinBackend::SetWakeup(std::function<void()> wake) {
  std::lock_guard<std::mutex> w(Impl->WakeLock);
  Impl->Wake = std::move(wake);
}

}  // namespace quenvar
