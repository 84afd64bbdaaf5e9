#pragma once
// Keeps the list of present HID interfaces, follows arrivals and removals and
// lets the application claim one device by vendor and product id.

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "quenvar/base/result.h"
#include "quenvar/hid/hid_backend.h"
#include "quenvar/hid/hid_handler.h"
#include "quenvar/hid/jv_hid_device.h"

namespace quenvar {

inline constexpr const char* kHidOneControllerOnly =
    "Only one TJvHidDeviceController allowed per program";

class TJvHidError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using TJvHidNotifyEvent = THidHandler<void(TJvHidDeviceController& sender)>;

class TJvHidDeviceController {
 public:
  // Binds the backend and scans. `post` runs a function on the UI thread
  // later (it must not block). Throws EJvHidError(kHidOneControllerOnly) when
  // another controller exists.
  TJvHidDeviceController(std::shared_ptr<IHidBackend> backend, TJvHidPostFn post);
  // The same, with the one-controller failure as a value.
  static TResult<std::unique_ptr<TJvHidDeviceController>> Create(
      std::shared_ptr<IHidBackend> backend, TJvHidPostFn post);
  ~TJvHidDeviceController();
  TJvHidDeviceController(const TJvHidDeviceController&) = delete;
  TJvHidDeviceController& operator=(const TJvHidDeviceController&) = delete;

  // Claims the first listed, unclaimed device with these ids (pid -1: any
  // product); ids compare as unsigned 16-bit values.
  bool ClaimById(TJvHidDevice*& out, int vid, int pid);
  // Claims this listed, unclaimed device.
  bool Claim(TJvHidDevice& device);

  // Rescans and reconciles the list by identity.
  void DeviceChange();

  const TJvHidNotifyEvent& OnDeviceChange() const { return FOnDeviceChange; }
  void SetOnDeviceChange(TJvHidNotifyEvent handler);
  const TJvHidEnumerateEvent& OnEnumerate() const { return FOnEnumerate; }
  void SetOnEnumerate(TJvHidEnumerateEvent handler);
  const TJvHidDataEvent& OnDeviceData() const { return FOnDeviceData; }
  void SetOnDeviceData(TJvHidDataEvent handler);
  const TJvHidDataErrorEvent& OnDeviceDataError() const { return FOnDeviceDataError; }
  void SetOnDeviceDataError(TJvHidDataErrorEvent handler);
  const TJvHidUnplugEvent& OnDeviceUnplug() const { return FOnDeviceUnplug; }
  void SetOnDeviceUnplug(TJvHidUnplugEvent handler);

  bool FirstChangeReported() const { return FFirstChangeReported; }
  int DevThreadSleepTime() const { return FDevThreadSleepTime; }
  void SetDevThreadSleepTime(int ms);
  static std::string Version() { return "1.0.19"; }

  int NumUnclaimedDevices() const { return FNumUnclaimed; }
  int NumClaimedDevices() const { return FNumClaimed; }
  int NumUnpluggedDevices() const { return FNumUnplugged; }

  const std::vector<TJvHidDevice*>& DeviceList() const { return FDeviceList; }
  // False when the backend failed to bind: the list stays empty.
  bool Bound() const { return FBound; }
  IHidBackend& Backend() const { return *FBackend; }

 private:
  friend class TJvHidDevice;

  std::vector<std::unique_ptr<TJvHidDevice>> ScanDevices();
  void Recount();
  // Called by a device being released, with the handlers it had.
  void DeviceReleased(TJvHidDevice& device, TJvHidDataEvent data, TJvHidUnplugEvent unplug);

  std::shared_ptr<IHidBackend> FBackend;
  TJvHidPostFn FPost;
  bool FBound = false;

  TJvHidNotifyEvent FOnDeviceChange;
  TJvHidEnumerateEvent FOnEnumerate;
  TJvHidDataEvent FOnDeviceData;
  TJvHidDataErrorEvent FOnDeviceDataError;
  TJvHidUnplugEvent FOnDeviceUnplug;

  bool FFirstChangeReported = false;
  int FDevThreadSleepTime = 100;
  int FNumUnclaimed = 0;
  int FNumClaimed = 0;
  int FNumUnplugged = 0;
  std::vector<TJvHidDevice*> FDeviceList;  // owns the unclaimed ones
};

}  // namespace quenvar
