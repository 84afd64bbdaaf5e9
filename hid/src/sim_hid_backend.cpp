#include "quenvar/hid/sim_hid_backend.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quenvar {

struct TSimHidBackend::TSimDevice {
  TPlugHandle Plug = 0;
  std::string Identity;
  std::string Path;
  std::string FIdentityPath;
  std::string FSerial;
  THidAttributes Attributes;
  std::shared_ptr<ISimDeviceModel> Model;
  bool Plugged = true;
  bool UnplugRequested = false;
  struct TInput {
    Clock::time_point ReadyAt;
    std::vector<std::uint8_t> Bytes;
  };
  std::deque<TInput> Inputs;
  Clock::time_point LastReady{};
  // Wakes only the readers of this device: with several plugged in, a reply
  // for one must not wake them all.
  std::condition_variable FArrived;
  std::vector<std::vector<std::uint8_t>> Written;
};

// What a model sees while it answers one output report.
class TSimHidBackend::THost final : public ISimDeviceHost {
 public:
  THost(TSimHidBackend& backend, std::shared_ptr<TSimDevice> device)
      : Backend(backend), Device(std::move(device)) {}

  void PushInputReport(std::span<const std::uint8_t> report,
                       std::chrono::microseconds delay) override {
    std::unique_lock<std::mutex> g(Backend.Lock);
    if (!Device->Plugged || Device->UnplugRequested) return;
    Backend.Queue(*Device, report, delay);
  }

  void RequestUnplug() override {
    std::unique_lock<std::mutex> g(Backend.Lock);
    if (!Device->Plugged) return;
    Device->UnplugRequested = true;
    if (Device->Inputs.empty()) {
      Backend.GoAway(*Device);
      Backend.Notify(g);
    }
  }

 private:
  TSimHidBackend& Backend;
  std::shared_ptr<TSimDevice> Device;
};

TSimHidBackend::TSimHidBackend() = default;
TSimHidBackend::~TSimHidBackend() = default;

TSimHidBackend::TPlugHandle TSimHidBackend::Plug(std::uint16_t vid, std::uint16_t pid,
                                                 std::shared_ptr<ISimDeviceModel> model,
                                                 std::uint16_t version, std::string identityPath,
                                                 std::string serial) {
  std::unique_lock<std::mutex> g(Lock);
  auto dev = std::make_shared<TSimDevice>();
  dev->Plug = NextPlug++;
  dev->Identity = "sim-" + std::to_string(dev->Plug);
  dev->Path = "/sim/hidraw" + std::to_string(dev->Plug);
  dev->FIdentityPath = std::move(identityPath);
  dev->FSerial = std::move(serial);
  dev->Attributes = THidAttributes{vid, pid, version};
  dev->Model = std::move(model);
  Devices[dev->Plug] = dev;
  const TPlugHandle plug = dev->Plug;
  Notify(g);
  return plug;
}

void TSimHidBackend::Unplug(TPlugHandle device) {
  std::unique_lock<std::mutex> g(Lock);
  auto it = Devices.find(device);
  if (it == Devices.end() || !it->second->Plugged) return;
  it->second->Inputs.clear();
  GoAway(*it->second);
  Notify(g);
}

bool TSimHidBackend::IsPlugged(TPlugHandle device) const {
  std::lock_guard<std::mutex> g(Lock);
  auto it = Devices.find(device);
  return it != Devices.end() && it->second->Plugged;
}

void TSimHidBackend::PushInputReport(TPlugHandle device, std::span<const std::uint8_t> report,
                                     std::chrono::microseconds delay) {
  std::lock_guard<std::mutex> g(Lock);
  auto it = Devices.find(device);
  if (it == Devices.end() || !it->second->Plugged) return;
  Queue(*it->second, report, delay);
}

std::string TSimHidBackend::IdentityOf(TPlugHandle device) const {
  std::lock_guard<std::mutex> g(Lock);
  auto it = Devices.find(device);
  return it == Devices.end() ? std::string() : it->second->Identity;
}

std::vector<std::vector<std::uint8_t>> TSimHidBackend::WrittenReports(TPlugHandle device) const {
  std::lock_guard<std::mutex> g(Lock);
  auto it = Devices.find(device);
  return it == Devices.end() ? std::vector<std::vector<std::uint8_t>>{} : it->second->Written;
}

std::size_t TSimHidBackend::PendingInputReports(TPlugHandle device) const {
  std::lock_guard<std::mutex> g(Lock);
  auto it = Devices.find(device);
  return it == Devices.end() ? 0 : it->second->Inputs.size();
}

void TSimHidBackend::Queue(TSimDevice& dev, std::span<const std::uint8_t> report,
                           std::chrono::microseconds delay) {
  TSimDevice::TInput in;
  in.Bytes.assign(kReportBytes, 0);
  std::copy_n(report.begin(), std::min<std::size_t>(report.size(), kReportBytes), in.Bytes.begin());
  // Each report is due `delay` after the later of now and its predecessor.
  in.ReadyAt = std::max(Clock::now(), dev.LastReady) + delay;
  dev.LastReady = in.ReadyAt;
  dev.Inputs.push_back(std::move(in));
  dev.FArrived.notify_all();
}

void TSimHidBackend::GoAway(TSimDevice& dev) {
  // Open handles stay known but lead nowhere; reads and writes see the unplug.
  dev.Plugged = false;
  dev.FArrived.notify_all();
}

void TSimHidBackend::Notify(std::unique_lock<std::mutex>& held) {
  ++PendingChanges;
  std::function<void()> wake = Wake;
  held.unlock();
  if (wake) wake();
  held.lock();
}

std::vector<THidInterfaceInfo> TSimHidBackend::Scan() {
  std::lock_guard<std::mutex> g(Lock);
  std::vector<THidInterfaceInfo> result;
  for (const auto& [plug, dev] : Devices)
    if (dev->Plugged)
      result.push_back(
          THidInterfaceInfo{dev->Identity, dev->Path, dev->FIdentityPath, dev->FSerial});
  return result;
}

TResult<THidHandle> TSimHidBackend::Open(const std::string& path, THidAccess access) {
  std::lock_guard<std::mutex> g(Lock);
  for (const auto& [plug, dev] : Devices) {
    if (dev->Path != path) continue;
    if (!dev->Plugged) return TError{TErrorKind::Device, "device gone", ENODEV};
    const std::int64_t id = NextHandle++;
    Handles[id] = TOpenHandle{dev, access};
    return THidHandle{id};
  }
  return TError{TErrorKind::Device, "no such device", ENOENT};
}

void TSimHidBackend::Close(THidHandle handle) {
  std::lock_guard<std::mutex> g(Lock);
  auto it = Handles.find(handle.Value);
  if (it == Handles.end()) return;
  // A reader in Read on this handle must notice.
  it->second.Device->FArrived.notify_all();
  Handles.erase(it);
}

TResult<THidAttributes> TSimHidBackend::GetAttributes(THidHandle handle) {
  std::lock_guard<std::mutex> g(Lock);
  auto it = Handles.find(handle.Value);
  if (it == Handles.end()) return TError{TErrorKind::Device, "bad handle", EBADF};
  if (!it->second.Device->Plugged) return TError{TErrorKind::Device, "device gone", ENODEV};
  return it->second.Device->Attributes;
}

TResult<THidCaps> TSimHidBackend::GetCapabilities(THidHandle handle) {
  std::lock_guard<std::mutex> g(Lock);
  auto it = Handles.find(handle.Value);
  if (it == Handles.end()) return TError{TErrorKind::Device, "bad handle", EBADF};
  if (!it->second.Device->Plugged) return TError{TErrorKind::Device, "device gone", ENODEV};
  return THidCaps{0x0001, 0xFF00, kReportBytes, kReportBytes, 0};
}

TResult<std::size_t> TSimHidBackend::Write(THidHandle handle, const void* data, std::size_t size) {
  std::shared_ptr<TSimDevice> dev;
  std::vector<std::uint8_t> report(static_cast<const std::uint8_t*>(data),
                                   static_cast<const std::uint8_t*>(data) + size);
  {
    std::lock_guard<std::mutex> g(Lock);
    auto it = Handles.find(handle.Value);
    if (it == Handles.end()) return TError{TErrorKind::Device, "bad handle", EBADF};
    if (it->second.Access != THidAccess::ReadWrite && it->second.Access != THidAccess::Write)
      return TError{TErrorKind::Device, "handle not open for writing", EBADF};
    dev = it->second.Device;
    if (!dev->Plugged || dev->UnplugRequested)
      return TError{TErrorKind::Device, "device gone", ENODEV};
    if (size != kReportBytes) return TError{TErrorKind::Device, "wrong report length", EINVAL};
    dev->Written.push_back(report);
  }
  // The model runs without the lock: it answers through the host, which locks.
  if (dev->Model) {
    THost host(*this, dev);
    dev->Model->OnOutputReport(report, host);
  }
  return size;
}

THidReadResult TSimHidBackend::Read(THidHandle handle, std::uint8_t* buffer, std::size_t size,
                                    std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> g(Lock);
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    auto it = Handles.find(handle.Value);
    if (it == Handles.end()) return THidReadResult{THidReadStatus::Error, 0, EBADF};
    std::shared_ptr<TSimDevice> dev = it->second.Device;
    if (!dev->Inputs.empty() && dev->Inputs.front().ReadyAt <= Clock::now()) {
      auto in = std::move(dev->Inputs.front());
      dev->Inputs.pop_front();
      const std::size_t n = std::min(size, in.Bytes.size());
      std::memcpy(buffer, in.Bytes.data(), n);
      if (dev->UnplugRequested && dev->Inputs.empty() && dev->Plugged) {
        GoAway(*dev);
        Notify(g);
      }
      return THidReadResult{THidReadStatus::Data, n, 0};
    }
    if (!dev->Plugged) return THidReadResult{THidReadStatus::Unplugged, 0, ENODEV};
    const auto now = Clock::now();
    if (now >= deadline) return THidReadResult{THidReadStatus::Timeout, 0, 0};
    auto until = deadline;
    if (!dev->Inputs.empty()) until = std::min(until, dev->Inputs.front().ReadyAt);
    dev->FArrived.wait_until(g, until);
  }
}

bool TSimHidBackend::Drain() {
  std::lock_guard<std::mutex> g(Lock);
  const bool any = PendingChanges > 0;
  PendingChanges = 0;
  return any;
}

void TSimHidBackend::SetWakeup(std::function<void()> wake) {
  std::lock_guard<std::mutex> g(Lock);
  Wake = std::move(wake);
}

}  // namespace quenvar
