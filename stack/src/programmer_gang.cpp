#include "quenvar/stack/programmer_gang.h"

#include <span>

#include "quenvar/sim/sim_programmer.h"

namespace quenvar {

TProgrammerGang::~TProgrammerGang() {
  if (FAttached) {
    TJvHidDeviceController& controller = FStack.Controller();
    controller.SetOnDeviceChange(nullptr);
    controller.SetOnDeviceData(nullptr);
  }
  // Each driver gives its programmer back (stopping its reader) before its
  // port and timer go.
  for (auto& member : FMembers) member->FDriver.reset();
}

TProgrammerDriver& TProgrammerGang::Add(const std::string& identityPath, IMemoryBuffer& buffer) {
  auto member = std::make_unique<TMember>();
  member->FIdentityPath = identityPath;
  member->FPort = std::make_unique<THidProgrammerPort>(FStack.Controller());
  member->FPort->PinTo(identityPath);
  member->FTimer = std::make_unique<TLoopReplyTimer>(FStack.EventLoop());
  member->FDriver = std::make_unique<TProgrammerDriver>(
      TProgrammerDriver::TPorts{member->FPort.get(), &buffer, member->FTimer.get()});
  FMembers.push_back(std::move(member));
  return *FMembers.back()->FDriver;
}

void TProgrammerGang::Deliver(TJvHidDevice& device, std::uint8_t reportId, const std::uint8_t* data,
                              std::uint16_t size) {
  for (auto& member : FMembers)
    if (member->FPort->ClaimedDevice() == &device) {
      member->FDriver->HidData(reportId, std::span(data, size));
      return;
    }
}

void TProgrammerGang::Attach() {
  if (FAttached) return;
  FAttached = true;
  TJvHidDeviceController& controller = FStack.Controller();
  controller.SetOnDeviceData(
      TJvHidDataEvent([this](TJvHidDevice& device, std::uint8_t reportId, const std::uint8_t* data,
                             std::uint16_t size) { Deliver(device, reportId, data, size); }));
  // Setting the handler reports the first change at once: every driver claims.
  controller.SetOnDeviceChange(TJvHidNotifyEvent([this](TJvHidDeviceController&) {
    for (auto& member : FMembers) member->FDriver->DeviceChange();
  }));
}

void TProgrammerGang::ChainEnded(std::size_t index) {
  if (TSimProgrammer* sim = FStack.SimulatorAt(FMembers[index]->FIdentityPath)) sim->ChainEnded();
}

}  // namespace quenvar
