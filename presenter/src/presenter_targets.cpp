// Choosing the target: the ISP connector or a 24xx EEPROM in the socket.
#include <string>

#include "quenvar/core/eeprom_types.h"
#include "quenvar/presenter/language_tables.h"
#include "quenvar/presenter/main_presenter.h"

namespace quenvar {

using enum TControl;

void TMainPresenter::ClearTarget() {
  FWindow.ClearFuseList();
  FWindow.SetEnabled(bErase, true);
  FWindow.SetEnabled(nErase, true);
  FDriver.ClearTarget();
  FWindow.ClearLog();
  FWindow.SetAutoDevice("");
  for (TControl control : {nprogeeprom, nreadeeprom, bprogeeprom, breadeeprom, nWritefuse,
                           bWriteFuse, bDetectDevice, nDetectDevice})
    FWindow.SetEnabled(control, false);
  for (std::size_t i = 0; i < kEepromTypeCount; ++i) {
    FWindow.SetChecked(EepromEntry(i), false);
    FWindow.SetRadioItem(EepromEntry(i), true);
  }
  FWindow.SetChecked(nAVRISP, false);
  FWindow.SetRadioItem(nAVRISP, true);
}

void TMainPresenter::SelectEepromType(std::size_t index) {
  const auto types = EepromTypes();
  if (index >= types.size()) return;
  const TEepromType& type = types[index];
  FWindow.SetDevice(type.FDeviceText);
  ClearTarget();
  FWindow.SetChecked(EepromEntry(index), true);
  FDriver.SelectEeprom(index);
  FWindow.SetCodeSize(type.FSizeText);
}

void TMainPresenter::nAVRISPClick() {
  FWindow.SetDevice(std::string(fixed_text::kIspDevice));
  ClearTarget();
  FWindow.SetChecked(nAVRISP, true);
  FDriver.SelectIsp();
  FWindow.SetEnabled(bDetectDevice, true);
  FWindow.SetEnabled(nDetectDevice, true);
  EnableEepromCommands();
}

void TMainPresenter::EnableEepromCommands() {
  FWindow.SetEnabled(nreadeeprom, true);
  FWindow.SetEnabled(breadeeprom, true);
  if (FDriver.BufferLength() > 0) {
    FWindow.SetEnabled(nprogeeprom, true);
    FWindow.SetEnabled(bprogeeprom, true);
  }
}

int TMainPresenter::LastDeviceIndex() const {
  if (FWindow.Checked(nAVRISP)) return static_cast<int>(kEepromTypeCount);
  for (std::size_t i = 0; i < kEepromTypeCount; ++i)
    if (FWindow.Checked(EepromEntry(i))) return static_cast<int>(i);
  return 0;
}

void TMainPresenter::RestoreTarget(int lastDevice) {
  bool matched = false;
  for (std::size_t i = 0; i < kEepromTypeCount; ++i) {
    if (static_cast<int>(i) == lastDevice) {
      FWindow.SetChecked(EepromEntry(i), true);
      SelectEepromType(i);
      matched = true;
    }
  }
  if (lastDevice == static_cast<int>(kEepromTypeCount)) {
    FWindow.SetChecked(nAVRISP, true);
    nAVRISPClick();
    matched = true;
  }
  if (!matched) nAVRISPClick();
}

}  // namespace quenvar
