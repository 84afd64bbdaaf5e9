#include "quenvar/hid/sim_hid_backend.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quenvar {

struct TSimHidBackend::TSimDevice {
  TPlugHandle FPlug = 0;
  std::string FIdentity;
  std::string FPath;
  std::string FIdentityPath;
  std::string FSerial;
  THidAttributes FAttributes;
  std::shared_ptr<ISimDeviceModel> FModel;
  bool FPlugged = true;
  bool FUnplugRequested = false;
  struct TInput {
    Clock::time_point FReadyAt;
    std::vector<std::uint8_t> FBytes;
  };
  std::deque<TInput> FInputs;
  Clock::time_point FLastReady{};
  // Wakes only the readers of this device: with several plugged in, a reply
  // for one must not wake them all.
  std::condition_variable FArrived;
  std::vector<std::vector<std::uint8_t>> FWritten;
};

// What a model sees while it answers one output report.
class TSimHidBackend::THost final : public ISimDeviceHost {
 public:
  THost(TSimHidBackend& backend, std::shared_ptr<TSimDevice> device)
      : FBackend(backend), FDevice(std::move(device)) {}

  void PushInputReport(std::span<const std::uint8_t> report,
                       std::chrono::microseconds delay) override {
    std::unique_lock<std::mutex> g(FBackend.FLock);
    if (!FDevice->FPlugged || FDevice->FUnplugRequested) return;
    FBackend.Queue(*FDevice, report, delay);
  }

  void RequestUnplug() override {
    std::unique_lock<std::mutex> g(FBackend.FLock);
    if (!FDevice->FPlugged) return;
    FDevice->FUnplugRequested = true;
    if (FDevice->FInputs.empty()) {
      FBackend.GoAway(*FDevice);
      FBackend.Notify(g);
    }
  }

 private:
  TSimHidBackend& FBackend;
  std::shared_ptr<TSimDevice> FDevice;
};

TSimHidBackend::TSimHidBackend() = default;
TSimHidBackend::~TSimHidBackend() = default;

TSimHidBackend::TPlugHandle TSimHidBackend::Plug(std::uint16_t vid, std::uint16_t pid,
                                                 std::shared_ptr<ISimDeviceModel> model,
                                                 std::uint16_t version, std::string identityPath,
                                                 std::string serial) {
  std::unique_lock<std::mutex> g(FLock);
  auto dev = std::make_shared<TSimDevice>();
  dev->FPlug = FNextPlug++;
  dev->FIdentity = "sim-" + std::to_string(dev->FPlug);
  dev->FPath = "/sim/hidraw" + std::to_string(dev->FPlug);
  dev->FIdentityPath = std::move(identityPath);
  dev->FSerial = std::move(serial);
  dev->FAttributes = THidAttributes{vid, pid, version};
  dev->FModel = std::move(model);
  FDevices[dev->FPlug] = dev;
  const TPlugHandle plug = dev->FPlug;
  Notify(g);
  return plug;
}

void TSimHidBackend::Unplug(TPlugHandle device) {
  std::unique_lock<std::mutex> g(FLock);
  auto it = FDevices.find(device);
  if (it == FDevices.end() || !it->second->FPlugged) return;
  it->second->FInputs.clear();
  GoAway(*it->second);
  Notify(g);
}

bool TSimHidBackend::IsPlugged(TPlugHandle device) const {
  std::lock_guard<std::mutex> g(FLock);
  auto it = FDevices.find(device);
  return it != FDevices.end() && it->second->FPlugged;
}

void TSimHidBackend::PushInputReport(TPlugHandle device, std::span<const std::uint8_t> report,
                                     std::chrono::microseconds delay) {
  std::lock_guard<std::mutex> g(FLock);
  auto it = FDevices.find(device);
  if (it == FDevices.end() || !it->second->FPlugged) return;
  Queue(*it->second, report, delay);
}

std::string TSimHidBackend::IdentityOf(TPlugHandle device) const {
  std::lock_guard<std::mutex> g(FLock);
  auto it = FDevices.find(device);
  return it == FDevices.end() ? std::string() : it->second->FIdentity;
}

std::vector<std::vector<std::uint8_t>> TSimHidBackend::WrittenReports(TPlugHandle device) const {
  std::lock_guard<std::mutex> g(FLock);
  auto it = FDevices.find(device);
  return it == FDevices.end() ? std::vector<std::vector<std::uint8_t>>{} : it->second->FWritten;
}

std::size_t TSimHidBackend::PendingInputReports(TPlugHandle device) const {
  std::lock_guard<std::mutex> g(FLock);
  auto it = FDevices.find(device);
  return it == FDevices.end() ? 0 : it->second->FInputs.size();
}

void TSimHidBackend::Queue(TSimDevice& dev, std::span<const std::uint8_t> report,
                           std::chrono::microseconds delay) {
  TSimDevice::TInput in;
  in.FBytes.assign(kReportBytes, 0);
  std::copy_n(report.begin(), std::min<std::size_t>(report.size(), kReportBytes),
              in.FBytes.begin());
  // Each report is due `delay` after the later of now and its predecessor.
  in.FReadyAt = std::max(Clock::now(), dev.FLastReady) + delay;
  dev.FLastReady = in.FReadyAt;
  dev.FInputs.push_back(std::move(in));
  dev.FArrived.notify_all();
}

void TSimHidBackend::GoAway(TSimDevice& dev) {
  // Open handles stay known but lead nowhere; reads and writes see the unplug.
  dev.FPlugged = false;
  dev.FArrived.notify_all();
}

void TSimHidBackend::Notify(std::unique_lock<std::mutex>& held) {
  ++FPendingChanges;
  std::function<void()> wake = FWake;
  held.unlock();
  if (wake) wake();
  held.lock();
}

std::vector<THidInterfaceInfo> TSimHidBackend::Scan() {
  std::lock_guard<std::mutex> g(FLock);
  std::vector<THidInterfaceInfo> result;
  for (const auto& [plug, dev] : FDevices)
    if (dev->FPlugged)
      result.push_back(
          THidInterfaceInfo{dev->FIdentity, dev->FPath, dev->FIdentityPath, dev->FSerial});
  return result;
}

TResult<THidHandle> TSimHidBackend::Open(const std::string& path, THidAccess access) {
  std::lock_guard<std::mutex> g(FLock);
  for (const auto& [plug, dev] : FDevices) {
    if (dev->FPath != path) continue;
    if (!dev->FPlugged) return TError{TErrorKind::Device, "device gone", ENODEV};
    const std::int64_t id = FNextHandle++;
    FHandles[id] = TOpenHandle{dev, access};
    return THidHandle{id};
  }
  return TError{TErrorKind::Device, "no such device", ENOENT};
}

void TSimHidBackend::Close(THidHandle handle) {
  std::lock_guard<std::mutex> g(FLock);
  auto it = FHandles.find(handle.FValue);
  if (it == FHandles.end()) return;
  // A reader in Read on this handle must notice.
  it->second.FDevice->FArrived.notify_all();
  FHandles.erase(it);
}

TResult<THidAttributes> TSimHidBackend::GetAttributes(THidHandle handle) {
  std::lock_guard<std::mutex> g(FLock);
  auto it = FHandles.find(handle.FValue);
  if (it == FHandles.end()) return TError{TErrorKind::Device, "bad handle", EBADF};
  if (!it->second.FDevice->FPlugged) return TError{TErrorKind::Device, "device gone", ENODEV};
  return it->second.FDevice->FAttributes;
}

TResult<THidCaps> TSimHidBackend::GetCapabilities(THidHandle handle) {
  std::lock_guard<std::mutex> g(FLock);
  auto it = FHandles.find(handle.FValue);
  if (it == FHandles.end()) return TError{TErrorKind::Device, "bad handle", EBADF};
  if (!it->second.FDevice->FPlugged) return TError{TErrorKind::Device, "device gone", ENODEV};
  return THidCaps{0x0001, 0xFF00, kReportBytes, kReportBytes, 0};
}

TResult<std::size_t> TSimHidBackend::Write(THidHandle handle, const void* data, std::size_t size) {
  std::shared_ptr<TSimDevice> dev;
  std::vector<std::uint8_t> report(static_cast<const std::uint8_t*>(data),
                                   static_cast<const std::uint8_t*>(data) + size);
  {
    std::lock_guard<std::mutex> g(FLock);
    auto it = FHandles.find(handle.FValue);
    if (it == FHandles.end()) return TError{TErrorKind::Device, "bad handle", EBADF};
    if (it->second.FAccess != THidAccess::ReadWrite && it->second.FAccess != THidAccess::Write)
      return TError{TErrorKind::Device, "handle not open for writing", EBADF};
    dev = it->second.FDevice;
    if (!dev->FPlugged || dev->FUnplugRequested)
      return TError{TErrorKind::Device, "device gone", ENODEV};
    if (size != kReportBytes) return TError{TErrorKind::Device, "wrong report length", EINVAL};
    dev->FWritten.push_back(report);
  }
  // The model runs without the lock: it answers through the host, which locks.
  if (dev->FModel) {
    THost host(*this, dev);
    dev->FModel->OnOutputReport(report, host);
  }
  return size;
}

THidReadResult TSimHidBackend::Read(THidHandle handle, std::uint8_t* buffer, std::size_t size,
                                    std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> g(FLock);
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    auto it = FHandles.find(handle.FValue);
    if (it == FHandles.end()) return THidReadResult{THidReadStatus::Error, 0, EBADF};
    std::shared_ptr<TSimDevice> dev = it->second.FDevice;
    if (!dev->FInputs.empty() && dev->FInputs.front().FReadyAt <= Clock::now()) {
      auto in = std::move(dev->FInputs.front());
      dev->FInputs.pop_front();
      const std::size_t n = std::min(size, in.FBytes.size());
      std::memcpy(buffer, in.FBytes.data(), n);
      if (dev->FUnplugRequested && dev->FInputs.empty() && dev->FPlugged) {
        GoAway(*dev);
        Notify(g);
      }
      return THidReadResult{THidReadStatus::Data, n, 0};
    }
    if (!dev->FPlugged) return THidReadResult{THidReadStatus::Unplugged, 0, ENODEV};
    const auto now = Clock::now();
    if (now >= deadline) return THidReadResult{THidReadStatus::Timeout, 0, 0};
    auto until = deadline;
    if (!dev->FInputs.empty()) until = std::min(until, dev->FInputs.front().FReadyAt);
    dev->FArrived.wait_until(g, until);
  }
}

bool TSimHidBackend::Drain() {
  std::lock_guard<std::mutex> g(FLock);
  const bool any = FPendingChanges > 0;
  FPendingChanges = 0;
  return any;
}

void TSimHidBackend::SetWakeup(std::function<void()> wake) {
  std::lock_guard<std::mutex> g(FLock);
  FWake = std::move(wake);
}

}  // namespace quenvar
