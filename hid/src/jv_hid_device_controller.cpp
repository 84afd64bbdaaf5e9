#include "quenvar/hid/jv_hid_device_controller.h"

#include <algorithm>
#include <atomic>

namespace quenvar {
namespace {

// The one process-wide count the link needs: at most one controller.
std::atomic<int> ControllerInstances{0};

bool IdsMatch(const THidAttributes& attrs, int vid, int pid) {
  if (static_cast<std::uint16_t>(vid) != attrs.FVendorID) return false;
  return pid == -1 || static_cast<std::uint16_t>(pid) == attrs.FProductID;
}

}  // namespace

TJvHidDeviceController::TJvHidDeviceController(std::shared_ptr<IHidBackend> backend,
                                               TJvHidPostFn post)
    : FBackend(std::move(backend)), FPost(std::move(post)) {
  FBound = FBackend->Bind();
  if (ControllerInstances.fetch_add(1) + 1 > 1) {
    ControllerInstances.fetch_sub(1);
    if (FBound) FBackend->Unbind();
    throw TJvHidError(kHidOneControllerOnly);
  }
  for (auto& dev : ScanDevices()) FDeviceList.push_back(dev.release());
  FNumUnclaimed = static_cast<int>(FDeviceList.size());
}

TResult<std::unique_ptr<TJvHidDeviceController>> TJvHidDeviceController::Create(
    std::shared_ptr<IHidBackend> backend, TJvHidPostFn post) {
  try {
    return std::make_unique<TJvHidDeviceController>(std::move(backend), std::move(post));
  } catch (const TJvHidError& e) {
    return TError{TErrorKind::Device, e.what(), 0};
  }
}

TJvHidDeviceController::~TJvHidDeviceController() {
  ControllerInstances.fetch_sub(1);
  FOnDeviceChange = nullptr;
  FOnDeviceUnplug = nullptr;
  FOnEnumerate = nullptr;
  std::vector<TJvHidDevice*> list;
  list.swap(FDeviceList);
  for (TJvHidDevice* dev : list) {
    dev->FController = nullptr;
    if (dev->Claimed()) {
      // Still the application's; its reader must not outlive the backend binding.
      dev->MarkUnplugged();
      dev->StopReader();
    } else {
      delete dev;
    }
  }
  if (FBound) FBackend->Unbind();
}

std::vector<std::unique_ptr<TJvHidDevice>> TJvHidDeviceController::ScanDevices() {
  std::vector<std::unique_ptr<TJvHidDevice>> result;
  if (!FBound) return result;
  for (const THidInterfaceInfo& found : FBackend->Scan()) {
    auto info = std::make_unique<TJvHidPnPInfo>(TJvHidPnPInfo{
        found.FIdentity, found.FDevicePath,
        found.FIdentityPath.empty() ? found.FDevicePath : found.FIdentityPath, found.FSerial});
    auto dev = TJvHidDevice::Create(std::move(info), this, FBackend, FPost);
    // Interfaces that cannot be opened or identified are left out silently.
    if (dev) result.push_back(std::move(*dev));
  }
  return result;
}

bool TJvHidDeviceController::ClaimById(TJvHidDevice*& out, int vid, int pid) {
  out = nullptr;
  for (TJvHidDevice* dev : FDeviceList) {
    if (dev->Claimed() || !IdsMatch(dev->Attributes(), vid, pid)) continue;
    out = dev;
    return Claim(*dev);
  }
  return false;
}

bool TJvHidDeviceController::Claim(TJvHidDevice& device) {
  const auto listed = std::find(FDeviceList.begin(), FDeviceList.end(), &device);
  if (listed == FDeviceList.end() || device.Claimed()) return false;
  device.FClaimed = true;
  --FNumUnclaimed;
  ++FNumClaimed;
  device.StartReaderIfReady();
  return true;
}

void TJvHidDeviceController::DeviceChange() {
  auto fresh = ScanDevices();
  bool changed = false;

  auto inFresh = [&](const std::string& id) {
    return std::any_of(fresh.begin(), fresh.end(),
                       [&](const auto& d) { return d->PnPInfo().FDevInst == id; });
  };
  for (std::size_t i = FDeviceList.size(); i-- > 0;) {
    if (i >= FDeviceList.size()) continue;  // a handler released devices meanwhile
    TJvHidDevice* dev = FDeviceList[i];
    if (dev->PluggedIn() && inFresh(dev->PnPInfo().FDevInst)) continue;
    changed = true;
    dev->MarkUnplugged();
    // The unplug handler may have released the device already.
    auto it = std::find(FDeviceList.begin(), FDeviceList.end(), dev);
    if (it == FDeviceList.end() || dev->Claimed()) continue;
    FDeviceList.erase(it);
    dev->FController = nullptr;
    delete dev;
  }

  for (auto& entry : fresh) {
    const std::string& id = entry->PnPInfo().FDevInst;
    const bool duplicate = std::any_of(FDeviceList.begin(), FDeviceList.end(), [&](auto* d) {
      return d->PluggedIn() && d->PnPInfo().FDevInst == id;
    });
    if (duplicate) {
      entry->FController = nullptr;
      entry.reset();
      continue;
    }
    FDeviceList.push_back(entry.release());
    changed = true;
  }

  Recount();
  if (changed || !FFirstChangeReported) {
    if (FOnDeviceChange) {
      TJvHidNotifyEvent handler = FOnDeviceChange;
      handler(*this);
    }
  }
}

void TJvHidDeviceController::Recount() {
  int claimed = 0;
  int unplugged = 0;
  for (const TJvHidDevice* dev : FDeviceList) {
    if (dev->Claimed()) ++claimed;
    if (!dev->PluggedIn()) ++unplugged;
  }
  FNumUnclaimed = static_cast<int>(FDeviceList.size()) - claimed;
  FNumUnplugged = unplugged;
  FNumClaimed = claimed - unplugged;
}

void TJvHidDeviceController::DeviceReleased(TJvHidDevice& device, TJvHidDataEvent data,
                                            TJvHidUnplugEvent unplug) {
  auto it = std::find(FDeviceList.begin(), FDeviceList.end(), &device);
  if (it == FDeviceList.end()) return;
  const bool wasClaimed = device.Claimed();
  if (!device.PluggedIn()) {
    FDeviceList.erase(it);
    return;
  }
  auto fresh = TJvHidDevice::Create(std::move(device.FPnPInfo), this, FBackend, FPost);
  if (!fresh) {
    // Gone in the meantime: the next rescan reports it; never keep a dead object.
    FDeviceList.erase(it);
    if (wasClaimed) --FNumClaimed;
    return;
  }
  TJvHidDevice* replacement = fresh->release();
  replacement->FData = std::move(data);
  replacement->FUnplug = std::move(unplug);
  replacement->FReaderPollTime.store(device.ReaderPollTime());
  *it = replacement;
  if (wasClaimed) {
    ++FNumUnclaimed;
    --FNumClaimed;
  }
}

void TJvHidDeviceController::SetOnDeviceChange(TJvHidNotifyEvent handler) {
  if (handler.SameCode(FOnDeviceChange)) return;
  FOnDeviceChange = std::move(handler);
  DeviceChange();
  FFirstChangeReported = true;
}

void TJvHidDeviceController::SetOnEnumerate(TJvHidEnumerateEvent handler) {
  FOnEnumerate = std::move(handler);
}

void TJvHidDeviceController::SetOnDeviceData(TJvHidDataEvent handler) {
  if (handler.SameCode(FOnDeviceData)) return;
  for (TJvHidDevice* dev : std::vector<TJvHidDevice*>(FDeviceList))
    if (dev->OnData().SameCode(FOnDeviceData)) dev->SetOnData(handler);
  FOnDeviceData = std::move(handler);
}

void TJvHidDeviceController::SetOnDeviceDataError(TJvHidDataErrorEvent handler) {
  if (handler.SameCode(FOnDeviceDataError)) return;
  for (TJvHidDevice* dev : FDeviceList)
    if (dev->OnDataError().SameCode(FOnDeviceDataError)) dev->SetOnDataError(handler);
  FOnDeviceDataError = std::move(handler);
}

void TJvHidDeviceController::SetOnDeviceUnplug(TJvHidUnplugEvent handler) {
  if (handler.SameCode(FOnDeviceUnplug)) return;
  for (TJvHidDevice* dev : FDeviceList)
    if (dev->OnUnplug().SameCode(FOnDeviceUnplug)) dev->SetOnUnplug(handler);
  FOnDeviceUnplug = std::move(handler);
}

void TJvHidDeviceController::SetDevThreadSleepTime(int ms) {
  if (ms == FDevThreadSleepTime) return;
  for (TJvHidDevice* dev : FDeviceList)
    if (dev->ReaderPollTime() == FDevThreadSleepTime) dev->SetReaderPollTime(ms);
  FDevThreadSleepTime = ms;
}

}  // namespace quenvar
