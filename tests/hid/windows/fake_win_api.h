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
    std::uint16_t Vendor = 0x0451;
    std::uint16_t Product = 0x3210;
    bool Present = true;
    bool ReadWriteDenied = false;  // opened by the system for itself, as keyboards are
    bool DetailFails = false;      // its interface details cannot be read
    bool Echo = false;             // answers each output report with the same bytes
    std::u16string Serial;         // empty: the device has no serial-number string
    TWinDword WriteError = 0;
    TWinDword ReadError = 0;  // a read goes pending and fails with it at once
    TBytes ArrivesOnCancel;   // a report that completes the read its cancel was meant for
    std::deque<TBytes> Inputs;
    std::vector<TBytes> Writes;
  };
  struct TOpen {
    std::u16string Path;
    TWinDword Access;
  };
  enum class TCm { Works, Missing, Refused };

  TCm Cm = TCm::Works;
  static constexpr TWinGuid kHidGuid{
      0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0, 0x11, 0x11, 0, 0, 0x30}};

  TWinHidApiLoader Loader() {
    return [this] { return std::optional<TWinHidApi>(Api()); };
  }
  TWinHidApi Api();

  // Tests change devices only through these, never while holding anything of the backend.
  template <class F>
  auto Device(const std::u16string& path, F change) {
    std::lock_guard<std::mutex> g(M);
    return change(Devices[path]);
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
      std::lock_guard<std::mutex> g(M);
      Devices[path].Present = false;
      for (auto& [h, f] : Files)
        if (f.Path == path && f.Ov) Finish(f, kErrorDeviceNotConnected, nullptr);
    }
    Notify(kCmNotifyActionInterfaceRemoval, path);
  }
  void Notify(TWinDword action, const std::u16string& path) {
    TWinCmCallback cb;
    {
      std::lock_guard<std::mutex> g(M);
      cb = Callback;
    }
    if (cb) cb(action, path);
  }
  bool ReadPending(const std::u16string& path) const {
    std::lock_guard<std::mutex> g(M);
    for (const auto& [h, f] : Files)
      if (f.Path == path && f.Ov) return true;
    return false;
  }
  std::vector<TOpen> Opens() const {
    std::lock_guard<std::mutex> g(M);
    return OpenLog;
  }
  // Handles, events, device information sets and preparsed data not given back.
  std::size_t Leftovers() const {
    std::lock_guard<std::mutex> g(M);
    return Files.size() + Events.size() + Sets.size() + Preparsed.size();
  }

 private:
  static constexpr std::uintptr_t kPending = 0x103;
  struct TFile {
    std::u16string Path;
    TWinDword Access = 0;
    bool Overlapped = false;
    TWinOverlapped* Ov = nullptr;  // the read in flight
    std::uint8_t* Buffer = nullptr;
    TWinDword Size = 0;
  };

  static bool Fail(TWinDword error) {
    tFakeLastError = error;
    return false;
  }
  // M held.
  void Finish(TFile& f, TWinDword error, const TBytes* report) {
    if (report) {
      std::memcpy(f.Buffer, report->data(), std::min<std::size_t>(f.Size, report->size()));
      f.Ov->InternalHigh = std::min<std::size_t>(f.Size, report->size());
    }
    f.Ov->Internal = error;
    Events[f.Ov->hEvent] = true;
    f.Ov = nullptr;
    Changed.notify_all();
  }
  void Deliver(const std::u16string& path, const TBytes& report) {
    for (auto& [h, f] : Files)
      if (f.Path == path && f.Ov) return Finish(f, 0, &report);
    Devices[path].Inputs.push_back(report);
  }
  TDevice* Live(TWinHandle h, TWinDword rights) {
    auto f = Files.find(h);
    if (f == Files.end()) return Fail(kErrorInvalidHandle), nullptr;
    if ((f->second.Access & rights) != rights) return Fail(kErrorAccessDenied), nullptr;
    TDevice& d = Devices[f->second.Path];
    return d.Present ? &d : (Fail(kErrorDeviceNotConnected), nullptr);
  }

  mutable std::mutex M;
  std::condition_variable Changed;
  std::map<std::u16string, TDevice> Devices;
  std::map<TWinHandle, TFile> Files;
  std::map<TWinHandle, bool> Events;
  std::map<TWinHandle, std::vector<std::u16string>> Sets;
  std::set<TWinHandle> Preparsed;
  std::vector<TOpen> OpenLog;
  TWinHandle Next = 0x100;
  TWinCmCallback Callback;
};

}  // namespace quenvar::test
