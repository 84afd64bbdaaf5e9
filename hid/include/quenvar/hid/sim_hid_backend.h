#pragma once
// In-process virtual HID devices. Tests and the simulated programmer plug and
// unplug them; every device has 65-byte input and output reports (report id 0
// first). Thread-safe.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "quenvar/devmodel/sim_device_model.h"
#include "quenvar/hid/hid_backend.h"

namespace quenvar {

class TSimHidBackend final : public IHidBackend, public IHidChangeSource {
 public:
  using TPlugHandle = std::uint64_t;
  static constexpr std::uint16_t kReportBytes = 65;

  TSimHidBackend();
  ~TSimHidBackend() override;

  // Plugs in a device; each plug gets a fresh identity, like a replug on real
  // hardware. The model may be null (a device that never answers). The
  // identity path names the port it is plugged into (none: the platform
  // tells none); the serial-number string may be empty.
  TPlugHandle Plug(std::uint16_t vid, std::uint16_t pid, std::shared_ptr<ISimDeviceModel> model,
                   std::uint16_t version = 0x0100, std::string identityPath = {},
                   std::string serial = {});
  // Pulls the cable at once (queued input reports are dropped).
  void Unplug(TPlugHandle device);
  bool IsPlugged(TPlugHandle device) const;
  // An unsolicited input report, as if the device sent it by itself.
  void PushInputReport(TPlugHandle device, std::span<const std::uint8_t> report,
                       std::chrono::microseconds delay = std::chrono::microseconds{0});
  std::string IdentityOf(TPlugHandle device) const;
  // Output reports written so far to this device (report id byte first).
  std::vector<std::vector<std::uint8_t>> WrittenReports(TPlugHandle device) const;
  // Input reports queued and not yet read.
  std::size_t PendingInputReports(TPlugHandle device) const;

  // IHidBackend
  bool Bind() override { return true; }
  void Unbind() override {}
  std::vector<THidInterfaceInfo> Scan() override;
  TResult<THidHandle> Open(const std::string& path, THidAccess access) override;
  void Close(THidHandle handle) override;
  TResult<THidAttributes> GetAttributes(THidHandle handle) override;
  TResult<THidCaps> GetCapabilities(THidHandle handle) override;
  TResult<std::size_t> Write(THidHandle handle, const void* data, std::size_t size) override;
  THidReadResult Read(THidHandle handle, std::uint8_t* buffer, std::size_t size,
                      std::chrono::milliseconds timeout) override;
  IHidChangeSource* ChangeSource() override { return this; }

  // IHidChangeSource
  int PollFd() const override { return -1; }
  bool Drain() override;
  void SetWakeup(std::function<void()> wake) override;

 private:
  struct TSimDevice;
  struct TOpenHandle {
    std::shared_ptr<TSimDevice> FDevice;
    THidAccess FAccess;
  };
  class THost;
  using Clock = std::chrono::steady_clock;

  std::shared_ptr<TSimDevice> Find(TPlugHandle device) const;
  // Both need Lock held.
  void Queue(TSimDevice& dev, std::span<const std::uint8_t> report,
             std::chrono::microseconds delay);
  void GoAway(TSimDevice& dev);
  void Notify(std::unique_lock<std::mutex>& held);

  mutable std::mutex FLock;
  std::map<TPlugHandle, std::shared_ptr<TSimDevice>> FDevices;  // plug order
  std::map<std::int64_t, TOpenHandle> FHandles;
  TPlugHandle FNextPlug = 1;
  std::int64_t FNextHandle = 1;
  int FPendingChanges = 0;
  std::function<void()> FWake;
};

}  // namespace quenvar
