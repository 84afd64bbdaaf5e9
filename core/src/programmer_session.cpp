#include "quenvar/core/programmer_session.h"

#include <exception>
#include <string>

#include "quenvar/core/chip_texts.h"
#include "quenvar/core/eeprom_types.h"
#include "quenvar/core/fuse_guard.h"
#include "quenvar/core/fuses.h"

namespace quenvar {

namespace {

constexpr const char* kOperationButtons[] = {"bProg",       "bVerify",       "bRead",
                                             "bErase",      "bDetectDevice", "bWriteFuse",
                                             "bprogeeprom", "breadeeprom"};
constexpr const char* kOperationMenus[] = {"nFile", "nBuffer", "nDevice", "nChose"};

}  // namespace

TProgrammerSession::TProgrammerSession(TPorts ports)
    : FPorts(ports), FDriver({ports.Port, ports.Buffer, ports.Timer}) {
  FDriver.SetListener(this);
}

TProgrammerSession::~TProgrammerSession() {
  FDriver.SetListener(nullptr);
}

std::int64_t TProgrammerSession::BufferLength() const {
  return FPorts.Buffer != nullptr ? FPorts.Buffer->DataLength() : 0;
}

bool TProgrammerSession::Click(std::string_view name) {
  if (!FWindow.Reachable(name)) return false;
  using THandler = void (TProgrammerSession::*)();
  struct TRoute {
    std::string_view Name;
    THandler Handler;
  };
  static constexpr TRoute kRoutes[] = {
      {"bProg", &TProgrammerSession::bProgClick},
      {"nprogflash", &TProgrammerSession::bProgClick},
      {"bVerify", &TProgrammerSession::bVerifyClick},
      {"nverifyflash", &TProgrammerSession::bVerifyClick},
      {"bRead", &TProgrammerSession::bReadClick},
      {"nreadflash", &TProgrammerSession::bReadClick},
      {"bErase", &TProgrammerSession::bEraseClick},
      {"nErase", &TProgrammerSession::bEraseClick},
      {"bprogeeprom", &TProgrammerSession::bprogeepromClick},
      {"nprogeeprom", &TProgrammerSession::bprogeepromClick},
      {"breadeeprom", &TProgrammerSession::breadeepromClick},
      {"nreadeeprom", &TProgrammerSession::breadeepromClick},
      {"bDetectDevice", &TProgrammerSession::bDetectDeviceClick},
      {"nDetectDevice", &TProgrammerSession::bDetectDeviceClick},
      {"bWriteFuse", &TProgrammerSession::bWriteFuseClick},
      // The menu twin of bWriteFuse: enabled and translated with it, so it
      // starts the same operation rather than doing nothing.
      {"nWritefuse", &TProgrammerSession::bWriteFuseClick},
      {"nAVRISP", &TProgrammerSession::nAVRISPClick},
  };
  for (const TRoute& route : kRoutes) {
    if (route.Name == name) {
      (this->*route.Handler)();
      return true;
    }
  }
  const auto types = EepromTypes();
  for (std::size_t i = 0; i < types.size(); ++i) {
    if (name == types[i].MenuName) {
      SelectEepromType(i);
      return true;
    }
  }
  return false;
}

// --- click handlers -------------------------------------------------------

void TProgrammerSession::ShowProgressFor(std::string_view label, bool onlyWithoutError) {
  if (!onlyWithoutError || !FReloadFailed) FWindow.SetProgressLabel(std::string(label));
  FWindow.ShowProgress();
  FWindow.SetMainWindowEnabled(false);
}

bool TProgrammerSession::ReloadFile() {
  FReloadFailed = false;
  if (!FWindow.Checked("updatebuffer") || FPorts.Reloader == nullptr) return true;
  try {
    // A format error was shown by the reader; the operation still starts.
    FReloadFailed = !FPorts.Reloader->LoadFile();
    return true;
  } catch (const std::exception& e) {
    // The file is gone or unreadable: programming the old buffer would write
    // stale data, so the click is abandoned.
    if (OnError) OnError(e.what());
    return false;
  }
}

void TProgrammerSession::StartImageOperation(TRequestedOperation operation,
                                             std::string_view label) {
  if (!ReloadFile()) return;
  if (!FDriver.AdmitImage(operation)) {
    FReloadFailed = false;  // nothing runs, so nothing is left to report
    return;
  }
  ShowProgressFor(label, true);
  FDriver.StartOperation(operation);
}

void TProgrammerSession::bProgClick() {
  StartImageOperation(TRequestedOperation::ProgramFlash, texts::kLabelProgramFlash);
}

void TProgrammerSession::bVerifyClick() {
  StartImageOperation(TRequestedOperation::Verify, texts::kLabelVerify);
}

void TProgrammerSession::bprogeepromClick() {
  StartImageOperation(TRequestedOperation::ProgramEeprom, texts::kLabelProgramEeprom);
}

void TProgrammerSession::bReadClick() {
  ShowProgressFor(texts::kLabelReadFlash, false);
  FDriver.StartOperation(TRequestedOperation::ReadFlash);
}

void TProgrammerSession::breadeepromClick() {
  ShowProgressFor(texts::kLabelReadEeprom, false);
  FDriver.StartOperation(TRequestedOperation::ReadEeprom);
}

void TProgrammerSession::bEraseClick() {
  FDriver.StartOperation(TRequestedOperation::Erase);
}

void TProgrammerSession::bWriteFuseClick() {
  if (!ConfirmFuseWrite()) return;
  FDriver.StartOperation(TRequestedOperation::WriteFuses);
}

void TProgrammerSession::bDetectDeviceClick() {
  FDriver.StartOperation(TRequestedOperation::DetectDevice);
}

// --- enabling rules -----------------------------------------------------------

void TProgrammerSession::DisableControls() {
  FWindow.ClearLog();
  for (const char* name : kOperationButtons) FWindow.SetEnabled(name, false);
  for (const char* name : kOperationMenus) FWindow.SetEnabled(name, false);
  // The menu twin of bWriteFuse goes with it.
  FWindow.SetEnabled("nWritefuse", false);
  FWindow.SetEnabled("FuseList", false);
}

void TProgrammerSession::EnableControls() {
  if (BufferLength() > 0) {
    FWindow.SetEnabled("bProg", true);
    FWindow.SetEnabled("bVerify", true);
    if (FWindow.Enabled("nprogeeprom")) FWindow.SetEnabled("bprogeeprom", true);
  }
  FWindow.SetEnabled("bErase", true);
  if (FWindow.Enabled("nreadeeprom")) FWindow.SetEnabled("breadeeprom", true);
  if (FWindow.Checked("nAVRISP")) {
    FWindow.SetEnabled("bDetectDevice", true);
    FWindow.SetEnabled("nDetectDevice", true);
  }
  FWindow.SetEnabled("bRead", true);
  for (const char* name : {"nFile", "nBuffer", "nChose", "nDevice"}) FWindow.SetEnabled(name, true);
  FWindow.SetEnabled("FuseList", true);
}

void TProgrammerSession::EnableBufferCommands(std::int64_t dataLength) {
  if (dataLength <= 0) return;
  for (const char* name : {"nsave", "bProg", "bVerify", "nprogflash", "nverifyflash"})
    FWindow.SetEnabled(name, true);
  if (FWindow.Enabled("nreadeeprom")) {
    FWindow.SetEnabled("nprogeeprom", true);
    FWindow.SetEnabled("bprogeeprom", true);
  }
}

// --- fuse list ------------------------------------------------------------------

void TProgrammerSession::FuseListClickCheck() {
  if (!FuseToggleEnablesWrite(FWindow.Checked("nAVRISP"))) return;
  FWindow.SetEnabled("bWriteFuse", true);
  FWindow.SetEnabled("nWritefuse", true);
}

void TProgrammerSession::ToggleFuse(std::size_t index) {
  const auto& items = FWindow.FuseList();
  if (index >= items.size() || !items[index].Enabled) return;
  const bool checked = !items[index].Checked;
  FWindow.SetFuseChecked(index, checked);
  FDriver.SetFuseState(index, checked);
  FuseListClickCheck();
}

bool TProgrammerSession::ConfirmFuseWrite() {
  // No chip: the write carries no records, so it cannot lock anything out.
  const ChipInfo* chip = FDriver.IdentifiedChipValue();
  if (!AskYesNo || chip == nullptr) return true;
  std::vector<bool> toWrite;
  for (const TFuseBox& box : FDriver.FuseBoxes()) toWrite.push_back(box.Checked);
  const std::vector<std::string_view> bits =
      NewIspDisablingBits(chip->FuseItems, FDriver.FusesAsRead(), toWrite);
  return bits.empty() || AskYesNo(IspDisablingQuestion(bits, LanguageIndex));
}

// --- target selection -------------------------------------------------------------

void TProgrammerSession::ClearTarget() {
  FWindow.ClearFuseList();
  FWindow.SetEnabled("bErase", true);
  FWindow.SetEnabled("nErase", true);
  FDriver.ClearTarget();
  FWindow.ClearLog();
  FWindow.SetAutoDevice("");
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
  FDriver.SelectEeprom(index);
  FWindow.SetCodeSize(type.SizeText);
}

void TProgrammerSession::nAVRISPClick() {
  FWindow.SetDevice(std::string(texts::kIspDevice));
  ClearTarget();
  FWindow.SetChecked("nAVRISP", true);
  FDriver.SelectIsp();
  FWindow.SetEnabled("bDetectDevice", true);
  FWindow.SetEnabled("nDetectDevice", true);
  EnableEepromCommands();
}

void TProgrammerSession::EnableEepromCommands() {
  FWindow.SetEnabled("nreadeeprom", true);
  FWindow.SetEnabled("breadeeprom", true);
  if (BufferLength() > 0) {
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

// --- the driver's events -----------------------------------------------------------

void TProgrammerSession::OnOperationStarted(TRequestedOperation /*operation*/) {
  FDriver.SetVerifyAfterProgram(FWindow.Checked("nverifyprogramm"));
  FReloadFailed = false;
  DisableControls();
  FWindow.ClearLog();
}

void TProgrammerSession::OnLogLine(const TLogLine& line) {
  FWindow.AddLine(RenderLogLine(line, LanguageIndex));
}

void TProgrammerSession::OnProgress(std::int64_t position, std::int64_t maximum) {
  FWindow.SetGaugeMax(maximum);
  FWindow.SetGaugePosition(position);
}

void TProgrammerSession::OnVerifyStarted() {
  FWindow.SetProgressLabel(std::string(texts::kLabelVerify));
}

void TProgrammerSession::OnChipIdentified(const TIdentification& identification) {
  switch (identification.Outcome) {
    case TIdentifyOutcome::Known: {
      FWindow.SetAutoDevice(std::string(identification.Chip->Name));
      FWindow.SetCodeSize(std::string(identification.Chip->FlashSizeText));
      std::vector<TFuseItem> items;
      for (const TFuseBox& box : FDriver.FuseBoxes())
        items.push_back(TFuseItem{box.Caption, box.Checked, box.Enabled});
      FWindow.SetFuseList(std::move(items));
      break;
    }
    case TIdentifyOutcome::Locked:
      FWindow.SetAutoDevice(std::string(DeviceLockedText));
      break;
    case TIdentifyOutcome::NotInTable:
    case TIdentifyOutcome::Invalid:
      FWindow.SetAutoDevice(std::string(IdentifyErrorText(LanguageIndex)));
      FWindow.SetCodeSize("");
      break;
  }
}

void TProgrammerSession::OnFusesRead(std::span<const TFuseBoxChange> changes) {
  for (const TFuseBoxChange& change : changes) FWindow.SetFuseChecked(change.Index, change.Checked);
}

void TProgrammerSession::OnStepFailed(const std::string& text) {
  if (OnError) OnError(text);
}

void TProgrammerSession::OnImageRefused(const TOperationRefusal& refusal) {
  if (OnRefused) OnRefused(refusal);
}

void TProgrammerSession::OnProgrammerLost() {
  DisableControls();
  FWindow.SetStatusPanel(0, std::string(texts::kProgrammerMissing));
}

void TProgrammerSession::OnProgrammerClaimed() {
  EnableControls();
  FWindow.SetStatusPanel(0, std::string(texts::kProgrammerReady));
}

void TProgrammerSession::OnProgrammerMissing() {
  DisableControls();
  FWindow.SetStatusPanel(0, std::string(texts::kProgrammerMissing));
}

void TProgrammerSession::OnDeviceChangeHandled() {
  if (FWindow.MainWindowEnabled()) return;
  FWindow.SetMainWindowEnabled(true);
  FWindow.SetGaugePosition(0);
  FWindow.CloseProgress();
}

void TProgrammerSession::OnFinished(TOperationResult result) {
  // A programmer that went away: the device change has set the window.
  if (result == TOperationResult::Abandoned) return;
  EnableControls();
  FWindow.SetGaugePosition(0);
  FWindow.SetMainWindowEnabled(true);
  FWindow.CloseProgress();
}

}  // namespace quenvar
