#pragma once
// Connects the driver to the HID link: check-out and release through the
// controller, output reports through the claimed device, and the controller's
// two events into the driver's handlers.

#include <memory>
#include <string>

#include "quenvar/core/driver_ports.h"
#include "quenvar/hid/jv_hid_device_controller.h"

namespace quenvar {

class TProgrammerDriver;

class THidProgrammerPort final : public IProgrammerPort {
 public:
  explicit THidProgrammerPort(TJvHidDeviceController& controller);
  ~THidProgrammerPort() override;
  THidProgrammerPort(const THidProgrammerPort&) = delete;
  THidProgrammerPort& operator=(const THidProgrammerPort&) = delete;

  // Sets the controller's data and device-change events to the driver's
  // handlers. The first device change (and so the claim) happens at once.
  void Attach(TProgrammerDriver& driver);
  // Clears both events again.
  void Detach();

  // From now on only the programmer plugged in at this identity path is
  // claimed (see TJvHidPnPInfo); empty: the first one listed, as the window does.
  void PinTo(std::string identityPath) { FPin = std::move(identityPath); }

  IProgrammerDevice* ClaimProgrammer(std::uint16_t vendorId, std::uint16_t productId) override;
  void ReleaseProgrammer(IProgrammerDevice* device) override;
  void DriverGone() override { Detach(); }

  // The claimed HID device, or null.
  TJvHidDevice* ClaimedDevice() const;

 private:
  class TDevice;
  TJvHidDeviceController& FController;
  std::unique_ptr<TDevice> FClaimed;
  TProgrammerDriver* FDriver = nullptr;
  std::string FPin;
};

}  // namespace quenvar
