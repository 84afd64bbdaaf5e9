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
  std::shared_ptr<const win::TWinHidApi> FApi;
  win::TWinHandle FHandle = win::kWinInvalidHandle;
  win::TWinHandle FEvent = 0;  // overlapped handles only
  THidAccess FAccess = THidAccess::QueryOnly;
  std::string FPathKey;
  unsigned FGeneration = 0;  // of the path when opened
  std::atomic<bool> FClosed{false};

  ~TOpenHandle();
};

struct TPathState {
  unsigned FGeneration = 0;  // removals seen
  bool FPresent = false;
};

}  // namespace win_detail

struct THidWinBackend::TImpl {
  using TApiPtr = std::shared_ptr<const win::TWinHidApi>;

  TImpl(win::TWinHidApiLoader loader, std::chrono::milliseconds rescanInterval)
      : FLoader(std::move(loader)), FRescanInterval(rescanInterval) {}

  const win::TWinHidApiLoader FLoader;
  const std::chrono::milliseconds FRescanInterval;

  mutable std::mutex FLock;  // guards everything below but the wakeup
  TApiPtr FApi;
  win::TWinGuid FHidGuid;
  std::map<std::int64_t, std::shared_ptr<win_detail::TOpenHandle>> FHandles;
  std::int64_t FNextHandle = 1;
  std::map<std::string, win_detail::TPathState> FPaths;  // by PathKey
  int FPendingChanges = 0;
  TChangeMode FMode = TChangeMode::None;
  win::TWinHandle FRegistration = 0;
  bool FStopRescan = false;
  std::condition_variable FRescanWake;
  std::thread FRescanner;

  // Held while the wakeup runs, so that clearing it waits for a call in flight.
  std::mutex FWakeLock;
  std::function<void()> FWake;

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
  void RescanLoop(const TApiPtr& api, win::TWinGuid hidGuid);
  void NoteChange();  // Lock not held
};

namespace win_detail {
// Windows compares device paths without case.
std::string PathKey(const std::string& path);
}  // namespace win_detail

}  // namespace quenvar
