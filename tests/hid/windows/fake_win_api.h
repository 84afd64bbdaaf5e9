#pragma once
// Fake Windows calls over a few scripted HID devices: enough SetupAPI,
// hid.dll, overlapped file I/O and configuration-manager notification for the
// backend to run as on Windows. Checks the records' sizes as Windows does.

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "quenvar/hid/win_hid_api.h"

namespace quenvar::test {

using namespace win;
using TBytes = std::vector<std::uint8_t>;

inline thread_local TWinDword tFakeLastError = 0;

class TFakeWin {
 public:
  struct TDevice {
    std::uint16_t FVendor = 0x0451;
    std::uint16_t FProduct = 0x3210;
    bool FPresent = true;
    bool FReadWriteDenied = false;  // opened by the system for itself, as keyboards are
    bool FDetailFails = false;      // its interface details cannot be read
    bool FEcho = false;             // answers each output report with the same bytes
    std::u16string FSerial;         // empty: the device has no serial-number string
    TWinDword FWriteError = 0;
    TWinDword FReadError = 0;  // a read goes pending and fails with it at once
    TBytes FArrivesOnCancel;   // a report that completes the read its cancel was meant for
    std::deque<TBytes> FInputs;
    std::vector<TBytes> FWrites;
  };
  struct TOpen {
    std::u16string FPath;
    TWinDword FAccess;
  };
  enum class TCm { Works, Missing, Refused };

  TCm FCm = TCm::Works;
  static constexpr TWinGuid kHidGuid{
      0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0, 0x11, 0x11, 0, 0, 0x30}};

  TWinHidApiLoader Loader() {
    return [this] { return std::optional<TWinHidApi>(Api()); };
  }
  TWinHidApi Api();

  // Tests change devices only through these, never while holding anything of the backend.
  template <class F>
  auto Device(const std::u16string& path, F change) {
    std::lock_guard<std::mutex> g(FM);
    return change(FDevices[path]);
  }
  // A fresh device at `path`, set up by `setup`.
  void Plug(const std::u16string& path, const std::function<void(TDevice&)>& setup = nullptr) {
    Device(path, [&](TDevice& d) {
      d = TDevice();
      if (setup) setup(d);
    });
    Notify(kCmNotifyActionInterfaceArrival, path);
  }
  void Unplug(const std::u16string& path) {
    {
      std::lock_guard<std::mutex> g(FM);
      FDevices[path].FPresent = false;
      for (auto& [h, f] : FFiles)
        if (f.FPath == path && f.FOv) Finish(f, kErrorDeviceNotConnected, nullptr);
    }
    Notify(kCmNotifyActionInterfaceRemoval, path);
  }
  void Notify(TWinDword action, const std::u16string& path) {
    TWinCmCallback cb;
    {
      std::lock_guard<std::mutex> g(FM);
      cb = FCallback;
    }
    if (cb) cb(action, path);
  }
  bool ReadPending(const std::u16string& path) const {
    std::lock_guard<std::mutex> g(FM);
    for (const auto& [h, f] : FFiles)
      if (f.FPath == path && f.FOv) return true;
    return false;
  }
  std::vector<TOpen> Opens() const {
    std::lock_guard<std::mutex> g(FM);
    return FOpenLog;
  }
  // Handles, events, device information sets and preparsed data not given back.
  std::size_t Leftovers() const {
    std::lock_guard<std::mutex> g(FM);
    return FFiles.size() + FEvents.size() + FSets.size() + FPreparsed.size();
  }

 private:
  static constexpr std::uintptr_t kPending = 0x103;
  struct TFile {
    std::u16string FPath;
    TWinDword FAccess = 0;
    bool FOverlapped = false;
    TWinOverlapped* FOv = nullptr;  // the read in flight
    std::uint8_t* FBuffer = nullptr;
    TWinDword FSize = 0;
  };

  static bool Fail(TWinDword error) {
    tFakeLastError = error;
    return false;
  }
  // M held.
  void Finish(TFile& f, TWinDword error, const TBytes* report) {
    if (report) {
      std::memcpy(f.FBuffer, report->data(), std::min<std::size_t>(f.FSize, report->size()));
      f.FOv->FInternalHigh = std::min<std::size_t>(f.FSize, report->size());
    }
    f.FOv->FInternal = error;
    FEvents[f.FOv->FHEvent] = true;
    f.FOv = nullptr;
    FChanged.notify_all();
  }
  void Deliver(const std::u16string& path, const TBytes& report) {
    for (auto& [h, f] : FFiles)
      if (f.FPath == path && f.FOv) return Finish(f, 0, &report);
    FDevices[path].FInputs.push_back(report);
  }
  TDevice* Live(TWinHandle h, TWinDword rights) {
    auto f = FFiles.find(h);
    if (f == FFiles.end()) return Fail(kErrorInvalidHandle), nullptr;
    if ((f->second.FAccess & rights) != rights) return Fail(kErrorAccessDenied), nullptr;
    TDevice& d = FDevices[f->second.FPath];
    return d.FPresent ? &d : (Fail(kErrorDeviceNotConnected), nullptr);
  }

  mutable std::mutex FM;
  std::condition_variable FChanged;
  std::map<std::u16string, TDevice> FDevices;
  std::map<TWinHandle, TFile> FFiles;
  std::map<TWinHandle, bool> FEvents;
  std::map<TWinHandle, std::vector<std::u16string>> FSets;
  std::set<TWinHandle> FPreparsed;
  std::vector<TOpen> FOpenLog;
  TWinHandle FNext = 0x100;
  TWinCmCallback FCallback;
};

}  // namespace quenvar::test
