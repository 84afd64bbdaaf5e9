// Choosing the target: the ISP connector or a 24xx EEPROM in the socket.
#include <string>

#include "quenvar/core/eeprom_types.h"
#include "quenvar/core/programmer_session.h"

namespace quenvar {

void TProgrammerSession::ClearTarget() {
  FWindow.ClearFuseList();
  FFusesAsRead.clear();
  FWindow.SetEnabled("bErase", true);
  FWindow.SetEnabled("nErase", true);
  SocketMode = false;
  IspMode = false;
  FWindow.ClearLog();
  FWindow.SetAutoDevice("");
  IdentifiedChip = nullptr;
  for (const char* name : {"nprogeeprom", "nreadeeprom", "bprogeeprom", "breadeeprom", "nWritefuse",
                           "bWriteFuse", "bDetectDevice", "nDetectDevice"})
    FWindow.SetEnabled(name, false);
  for (const TEepromType& type : EepromTypes()) {
    FWindow.SetChecked(type.MenuName, false);
    FWindow.Control(type.MenuName).RadioItem = true;
  }
  FWindow.SetChecked("nAVRISP", false);
  FWindow.Control("nAVRISP").RadioItem = true;
}

void TProgrammerSession::SelectEepromType(std::size_t index) {
  const auto types = EepromTypes();
  if (index >= types.size()) return;
  const TEepromType& type = types[index];
  FWindow.SetDevice(type.DeviceText);
  ClearTarget();
  FWindow.SetChecked(type.MenuName, true);
  EepromSizeCode = type.SizeCode;
  EepromPageSize = type.PageSize;
  SocketMode = true;
  FWindow.SetCodeSize(type.SizeText);
}

void TProgrammerSession::nAVRISPClick() {
  FWindow.SetDevice(std::string(texts::kIspDevice));
  ClearTarget();
  FWindow.SetChecked("nAVRISP", true);
  IspMode = true;
  FWindow.SetEnabled("bDetectDevice", true);
  FWindow.SetEnabled("nDetectDevice", true);
  EnableEepromCommands();
}

void TProgrammerSession::EnableEepromCommands() {
  FWindow.SetEnabled("nreadeeprom", true);
  FWindow.SetEnabled("breadeeprom", true);
  if (FPorts.Buffer != nullptr && FPorts.Buffer->DataLength() > 0) {
    FWindow.SetEnabled("nprogeeprom", true);
    FWindow.SetEnabled("bprogeeprom", true);
  }
}

int TProgrammerSession::LastDeviceIndex() const {
  if (FWindow.Checked("nAVRISP")) return static_cast<int>(kEepromTypeCount);
  const auto types = EepromTypes();
  for (std::size_t i = 0; i < types.size(); ++i)
    if (FWindow.Checked(types[i].MenuName)) return static_cast<int>(i);
  return 0;
}

void TProgrammerSession::RestoreTarget(int lastDevice) {
  const auto types = EepromTypes();
  bool matched = false;
  for (std::size_t i = 0; i < types.size(); ++i) {
    if (static_cast<int>(i) == lastDevice) {
      FWindow.SetChecked(types[i].MenuName, true);
      SelectEepromType(i);
      matched = true;
    }
  }
  if (lastDevice == static_cast<int>(kEepromTypeCount)) {
    FWindow.SetChecked("nAVRISP", true);
    nAVRISPClick();
    matched = true;
  }
  if (!matched) nAVRISPClick();
}

}  // namespace quenvar
