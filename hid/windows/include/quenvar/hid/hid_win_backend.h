#pragma once
// Windows backend: SetupAPI finds the HID interfaces, hid.dll identifies them,
// file handles move the reports, and the configuration manager (or a rescan
// once a second where it cannot notify) tells of arrivals and removals.
//
// Identity of an interface is its device path. A path comes back unchanged
// when the same device is plugged into the same port again, so every removal
// the backend sees (a notification, a rescan without the path, a read or
// write that finds the device gone) gives the next connection the path plus
// "#<count>": a replug between two rescans still reads as a new device.
//
// The identity path is the device path's instance part (its third field,
// upper-cased, e.g. "7&1A2B3C4D&0&0000"): Windows derives it from the USB port
// of a device without a serial number, so it stays with the port across
// replugs. For a device with a serial number Windows derives it from that
// number, so there it follows the device from port to port instead. A path of
// another shape gives none. The serial-number string is HidD_GetSerialNumberString's,
// read through a query-only handle at each scan.
//
// Error codes in results are errno style (ENOENT, EACCES, ENODEV ...), as on
// every platform; the Windows codes behind them are mapped, not passed on.

#include <chrono>
#include <memory>

#include "quenvar/hid/hid_backend.h"
#include "quenvar/hid/win_hid_api.h"

namespace quenvar {

class THidWinBackend final : public IHidBackend, public IHidChangeSource {
 public:
  static constexpr std::chrono::milliseconds kRescanInterval{1000};

  enum class TChangeMode {
    None,          // not bound
    Notification,  // CM_Register_Notification
    Rescan,        // no notification from the system: rescans on a timer
  };

  explicit THidWinBackend(win::TWinHidApiLoader loader,
                          std::chrono::milliseconds rescanInterval = kRescanInterval);
#ifdef _WIN32
  THidWinBackend();  // the system's libraries
#endif
  ~THidWinBackend() override;
  THidWinBackend(const THidWinBackend&) = delete;
  THidWinBackend& operator=(const THidWinBackend&) = delete;

  bool Bind() override;
  void Unbind() override;
  std::vector<THidInterfaceInfo> Scan() override;
  TResult<THidHandle> Open(const std::string& path, THidAccess access) override;
  void Close(THidHandle handle) override;
  TResult<THidAttributes> GetAttributes(THidHandle handle) override;
  TResult<THidCaps> GetCapabilities(THidHandle handle) override;
  TResult<std::size_t> Write(THidHandle handle, const void* data, std::size_t size) override;
  THidReadResult Read(THidHandle handle, std::uint8_t* buffer, std::size_t size,
                      std::chrono::milliseconds timeout) override;
  IHidChangeSource* ChangeSource() override;

  int PollFd() const override {
    return -1;
  }
  bool Drain() override;
  void SetWakeup(std::function<void()> wake) override;

  TChangeMode ChangeMode() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace quenvar
