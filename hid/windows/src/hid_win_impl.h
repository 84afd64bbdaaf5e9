#pragma once
// The state the Windows backend's two halves share: the calls and handles
// (hid_win_backend.cpp) and the change notifications (hid_win_changes.cpp).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quenvar/hid/hid_win_backend.h"

namespace quenvar {

namespace win_detail {

// One open handle. Kept alive by a Read still running on it, so that a handle
// closed meanwhile is never closed under that read or reused by Windows.
struct TOpenHandle {
  std::shared_ptr<const win::TWinHidApi> Api;
  win::TWinHandle Handle = win::kWinInvalidHandle;
  win::TWinHandle Event = 0;  // overlapped handles only
  THidAccess Access = THidAccess::QueryOnly;
  std::string PathKey;
  unsigned Generation = 0;  // of the path when opened
  std::atomic<bool> Closed{false};

  ~TOpenHandle();
};

struct TPathState {
  unsigned Generation = 0;  // removals seen
  bool Present = false;
};

}  // namespace win_detail

struct THidWinBackend::TImpl {
  using TApiPtr = std::shared_ptr<const win::TWinHidApi>;

  TImpl(win::TWinHidApiLoader loader, std::chrono::milliseconds rescanInterval)
      : Loader(std::move(loader)), RescanInterval(rescanInterval) {}

  const win::TWinHidApiLoader Loader;
  const std::chrono::milliseconds RescanInterval;

  mutable std::mutex Lock;  // guards everything below but the wakeup
  TApiPtr Api;
  win::TWinGuid HidGuid;
  std::map<std::int64_t, std::shared_ptr<win_detail::TOpenHandle>> Handles;
  std::int64_t NextHandle = 1;
  std::map<std::string, win_detail::TPathState> Paths;  // by PathKey
  int PendingChanges = 0;
  TChangeMode Mode = TChangeMode::None;
  win::TWinHandle Registration = 0;
  bool StopRescan = false;
  std::condition_variable RescanWake;
  std::thread Rescanner;

  // Held while the wakeup runs, so that clearing it waits for a call in flight.
  std::mutex WakeLock;
  std::function<void()> Wake;

  // hid_win_backend.cpp
  std::shared_ptr<win_detail::TOpenHandle> Find(THidHandle handle) const;
  static std::vector<std::u16string> ScanPaths(const win::TWinHidApi& api,
                                               const win::TWinGuid& hidGuid);
  // Lock held: records which paths are present, a removal for each that is
  // gone; true if anything differs from before. Fills `found` when given.
  bool Observe(const std::vector<std::u16string>& paths, std::vector<THidInterfaceInfo>* found);
  // A read or write found the device of this connection gone.
  void ConnectionGone(const win_detail::TOpenHandle& handle);
  bool RemovalSeen(const win_detail::TOpenHandle& handle) const;

  // hid_win_changes.cpp
  void StartWatching(const TApiPtr& api, const win::TWinGuid& hidGuid);
  void StopWatching();
  void Notified(win::TWinDword action, const std::u16string& symbolicLink);
  void RescanLoop(TApiPtr api, win::TWinGuid hidGuid);
  void NoteChange();  // Lock not held
};

namespace win_detail {
// Windows compares device paths without case.
std::string PathKey(const std::string& path);
}  // namespace win_detail

}  // namespace quenvar
