#include "quenvar/stack/hid_programmer_port.h"

#include "quenvar/core/programmer_driver.h"

namespace quenvar {

class THidProgrammerPort::TDevice final : public IProgrammerDevice {
 public:
  explicit TDevice(TJvHidDevice* device) : FDevice(device) {}
  // Destroying the claimed object is how the link takes it back.
  ~TDevice() override { delete FDevice; }
  TDevice(const TDevice&) = delete;
  TDevice& operator=(const TDevice&) = delete;

  bool PluggedIn() const override { return FDevice->PluggedIn(); }
  std::size_t OutputReportLength() override {
    return FDevice->Capabilities().FOutputReportByteLength;
  }
  bool WriteReport(std::span<const std::uint8_t> report) override {
    std::size_t written = 0;
    return FDevice->WriteReport(report.data(), report.size(), written);
  }

  TJvHidDevice* FDevice;
};

THidProgrammerPort::THidProgrammerPort(TJvHidDeviceController& controller)
    : FController(controller) {}

THidProgrammerPort::~THidProgrammerPort() {
  Detach();
}

void THidProgrammerPort::Attach(TProgrammerDriver& driver) {
  FDriver = &driver;
  FController.SetOnDeviceData(TJvHidDataEvent(
      [this](TJvHidDevice&, std::uint8_t reportId, const std::uint8_t* data, std::uint16_t size) {
        if (FDriver != nullptr) FDriver->HidData(reportId, std::span(data, size));
      }));
  FController.SetOnDeviceChange(TJvHidNotifyEvent([this](TJvHidDeviceController&) {
    if (FDriver != nullptr) FDriver->DeviceChange();
  }));
}

void THidProgrammerPort::Detach() {
  if (FDriver == nullptr) return;
  FDriver = nullptr;
  FController.SetOnDeviceChange(nullptr);
  FController.SetOnDeviceData(nullptr);
}

IProgrammerDevice* THidProgrammerPort::ClaimProgrammer(std::uint16_t vendorId,
                                                       std::uint16_t productId) {
  TJvHidDevice* device = nullptr;
  if (FPin.empty()) {
    if (!FController.ClaimById(device, vendorId, productId)) device = nullptr;
  } else {
    for (TJvHidDevice* listed : FController.DeviceList()) {
      const THidAttributes& ids = listed->Attributes();
      if (listed->PnPInfo().FIdentityPath != FPin || ids.FVendorID != vendorId ||
          ids.FProductID != productId || !listed->PluggedIn() || !FController.Claim(*listed))
        continue;
      device = listed;
      break;
    }
  }
  if (device == nullptr) return nullptr;
  FClaimed = std::make_unique<TDevice>(device);
  return FClaimed.get();
}

void THidProgrammerPort::ReleaseProgrammer(IProgrammerDevice* device) {
  if (device != nullptr && device == FClaimed.get()) FClaimed.reset();
}

TJvHidDevice* THidProgrammerPort::ClaimedDevice() const {
  return FClaimed ? FClaimed->FDevice : nullptr;
}

}  // namespace quenvar
