#include "quenvar/presenter/main_presenter.h"

#include <exception>
#include <string>
#include <vector>

#include "quenvar/core/chip_texts.h"
#include "quenvar/core/fuse_guard.h"
#include "quenvar/core/fuses.h"
#include "quenvar/presenter/language_tables.h"
#include "quenvar/presenter/main_form_logic.h"

namespace quenvar {

namespace {

using enum TControl;

constexpr TControl kOperationButtons[] = {bProg,         bVerify,    bRead,       bErase,
                                          bDetectDevice, bWriteFuse, bprogeeprom, breadeeprom};
constexpr TControl kOperationMenus[] = {nFile, nBuffer, nDevice, nChose};

}  // namespace

TMainPresenter::TMainPresenter(TProgrammerDriver& driver) : FDriver(driver) {
  FDriver.SetListener(this);
}

TMainPresenter::~TMainPresenter() {
  FDriver.SetListener(nullptr);
}

bool TMainPresenter::Click(TControl control) {
  if (!FWindow.Reachable(control)) return false;
  if (const std::optional<std::size_t> index = EepromIndexOf(control)) {
    SelectEepromType(*index);
    return true;
  }
  switch (control) {
    case bProg:
    case nprogflash:
      bProgClick();
      return true;
    case bVerify:
    case nverifyflash:
      bVerifyClick();
      return true;
    case bRead:
    case nreadflash:
      bReadClick();
      return true;
    case bErase:
    case nErase:
      bEraseClick();
      return true;
    case bprogeeprom:
    case nprogeeprom:
      bprogeepromClick();
      return true;
    case breadeeprom:
    case nreadeeprom:
      breadeepromClick();
      return true;
    case bDetectDevice:
    case nDetectDevice:
      bDetectDeviceClick();
      return true;
    // The menu twin of bWriteFuse: enabled and translated with it, so it
    // starts the same operation rather than doing nothing.
    case bWriteFuse:
    case nWritefuse:
      bWriteFuseClick();
      return true;
    case nAVRISP:
      nAVRISPClick();
      return true;
    default:
      return ClickLogic(control);
  }
}

bool TMainPresenter::ClickLogic(TControl control) {
  if (FLogic == nullptr) return false;
  TMainFormLogic& logic = *FLogic;
  switch (control) {
    case nopen:
      logic.nopenClick();
      return true;
    case nsave:
      logic.nsaveClick();
      return true;
    case nUndo:
      logic.nUndoClick();
      return true;
    case nRedo:
      logic.nRedoClick();
      return true;
    case neditbuffer:
      logic.neditbufferClick();
      return true;
    case updatebuffer:
      logic.updatebufferClick();
      return true;
    case nverifyprogramm:
      logic.nverifyprogrammClick();
      return true;
    case sDeutsch:
      logic.sDeutschClick();
      return true;
    case sEnglish:
      logic.sEnglishClick();
      return true;
    case sRus:
      logic.sRusClick();
      return true;
    default:
      return false;
  }
}

// --- click handlers -------------------------------------------------------

void TMainPresenter::ShowError(const std::string& text) {
  if (FOnError) FOnError(text);
}

void TMainPresenter::ShowProgressFor(std::string_view label, bool onlyWithoutError) {
  if (!onlyWithoutError || !FReloadFailed) FWindow.SetProgressLabel(std::string(label));
  FWindow.ShowProgress();
  FWindow.SetMainWindowEnabled(false);
}

bool TMainPresenter::ReloadFile() {
  FReloadFailed = false;
  if (!FWindow.Checked(updatebuffer) || FReloader == nullptr) return true;
  try {
    // A format error was shown by the reader; the operation still starts.
    FReloadFailed = !FReloader->LoadFile();
    return true;
  } catch (const std::exception& e) {
    // The file is gone or unreadable: programming the old buffer would write
    // stale data, so the click is abandoned.
    ShowError(e.what());
    return false;
  }
}

void TMainPresenter::StartImageOperation(TRequestedOperation operation, std::string_view label) {
  if (!ReloadFile()) return;
  if (!FDriver.AdmitImage(operation)) {
    FReloadFailed = false;  // nothing runs, so nothing is left to report
    return;
  }
  ShowProgressFor(label, true);
  FDriver.StartOperation(operation);
}

void TMainPresenter::bProgClick() {
  StartImageOperation(TRequestedOperation::ProgramFlash, fixed_text::kLabelProgramFlash);
}

void TMainPresenter::bVerifyClick() {
  StartImageOperation(TRequestedOperation::Verify, fixed_text::kLabelVerify);
}

void TMainPresenter::bprogeepromClick() {
  StartImageOperation(TRequestedOperation::ProgramEeprom, fixed_text::kLabelProgramEeprom);
}

void TMainPresenter::bReadClick() {
  ShowProgressFor(fixed_text::kLabelReadFlash, false);
  FDriver.StartOperation(TRequestedOperation::ReadFlash);
}

void TMainPresenter::breadeepromClick() {
  ShowProgressFor(fixed_text::kLabelReadEeprom, false);
  FDriver.StartOperation(TRequestedOperation::ReadEeprom);
}

void TMainPresenter::bEraseClick() {
  FDriver.StartOperation(TRequestedOperation::Erase);
}

void TMainPresenter::bWriteFuseClick() {
  if (!ConfirmFuseWrite()) return;
  FDriver.StartOperation(TRequestedOperation::WriteFuses);
}

void TMainPresenter::bDetectDeviceClick() {
  FDriver.StartOperation(TRequestedOperation::DetectDevice);
}

void TMainPresenter::SetVerifyAfterProgram(bool checked) {
  FWindow.SetChecked(nverifyprogramm, checked);
  FDriver.SetVerifyAfterProgram(checked);
}

// --- enabling rules -----------------------------------------------------------

void TMainPresenter::DisableControls() {
  FWindow.ClearLog();
  for (TControl control : kOperationButtons) FWindow.SetEnabled(control, false);
  for (TControl control : kOperationMenus) FWindow.SetEnabled(control, false);
  // The menu twin of bWriteFuse goes with it.
  FWindow.SetEnabled(nWritefuse, false);
  FWindow.SetEnabled(FuseList, false);
}

void TMainPresenter::EnableControls() {
  if (FDriver.BufferLength() > 0) {
    FWindow.SetEnabled(bProg, true);
    FWindow.SetEnabled(bVerify, true);
    if (FWindow.Enabled(nprogeeprom)) FWindow.SetEnabled(bprogeeprom, true);
  }
  FWindow.SetEnabled(bErase, true);
  if (FWindow.Enabled(nreadeeprom)) FWindow.SetEnabled(breadeeprom, true);
  if (FWindow.Checked(nAVRISP)) {
    FWindow.SetEnabled(bDetectDevice, true);
    FWindow.SetEnabled(nDetectDevice, true);
  }
  FWindow.SetEnabled(bRead, true);
  for (TControl control : {nFile, nBuffer, nChose, nDevice}) FWindow.SetEnabled(control, true);
  FWindow.SetEnabled(FuseList, true);
}

void TMainPresenter::EnableBufferCommands(std::int64_t dataLength) {
  if (dataLength <= 0) return;
  for (TControl control : {nsave, bProg, bVerify, nprogflash, nverifyflash})
    FWindow.SetEnabled(control, true);
  if (FWindow.Enabled(nreadeeprom)) {
    FWindow.SetEnabled(nprogeeprom, true);
    FWindow.SetEnabled(bprogeeprom, true);
  }
}

// --- fuse list ------------------------------------------------------------------

void TMainPresenter::FuseListClickCheck() {
  if (!FuseToggleEnablesWrite(FWindow.Checked(nAVRISP))) return;
  FWindow.SetEnabled(bWriteFuse, true);
  FWindow.SetEnabled(nWritefuse, true);
}

void TMainPresenter::ToggleFuse(std::size_t index) {
  const auto& items = FWindow.FuseList();
  if (index >= items.size() || !items[index].FEnabled) return;
  const bool checked = !items[index].FChecked;
  FWindow.SetFuseChecked(index, checked);
  FDriver.SetFuseState(index, checked);
  FuseListClickCheck();
}

bool TMainPresenter::ConfirmFuseWrite() {
  // No chip: the write carries no records, so it cannot lock anything out.
  const TChipInfo* chip = FDriver.IdentifiedChipValue();
  if (!FAskYesNo || chip == nullptr) return true;
  std::vector<bool> toWrite;
  for (const TFuseBox& box : FDriver.FuseBoxes()) toWrite.push_back(box.FChecked);
  const std::vector<std::string_view> bits =
      NewIspDisablingBits(chip->FFuseItems, FDriver.FusesAsRead(), toWrite);
  return bits.empty() || FAskYesNo(IspDisablingQuestion(bits, FLanguageIndex));
}

// --- the driver's events -----------------------------------------------------------

void TMainPresenter::OnOperationStarted(TRequestedOperation /*operation*/) {
  FReloadFailed = false;
  DisableControls();
  FWindow.ClearLog();
}

void TMainPresenter::OnLogLine(const TLogLine& line) {
  FWindow.AddLine(RenderLogLine(line, FLanguageIndex));
}

void TMainPresenter::OnProgress(std::int64_t position, std::int64_t maximum) {
  FWindow.SetGaugeMax(maximum);
  FWindow.SetGaugePosition(position);
}

void TMainPresenter::OnVerifyStarted() {
  FWindow.SetProgressLabel(std::string(fixed_text::kLabelVerify));
}

void TMainPresenter::OnChipIdentified(const TIdentification& identification) {
  switch (identification.FOutcome) {
    case TIdentifyOutcome::Known:
      FWindow.SetAutoDevice(std::string(identification.FChip->FName));
      FWindow.SetCodeSize(std::string(identification.FChip->FFlashSizeText));
      FWindow.SetFuseList(FDriver.FuseBoxes());
      break;
    case TIdentifyOutcome::Locked:
      FWindow.SetAutoDevice(std::string(kDeviceLockedText));
      break;
    case TIdentifyOutcome::NotInTable:
    case TIdentifyOutcome::Invalid:
      FWindow.SetAutoDevice(std::string(IdentifyErrorText(FLanguageIndex)));
      FWindow.SetCodeSize("");
      break;
  }
}

void TMainPresenter::OnFusesRead(std::span<const TFuseBoxChange> changes) {
  for (const TFuseBoxChange& change : changes)
    FWindow.SetFuseChecked(change.FIndex, change.FChecked);
}

void TMainPresenter::OnStepFailed(const std::string& text) {
  ShowError(text);
}

void TMainPresenter::OnImageRefused(const TOperationRefusal& refusal) {
  ShowError(RefusalText(refusal, FLanguageIndex));
}

void TMainPresenter::OnProgrammerLost() {
  DisableControls();
  FWindow.SetStatusPanel(0, std::string(fixed_text::kProgrammerMissing));
}

void TMainPresenter::OnProgrammerClaimed() {
  EnableControls();
  FWindow.SetStatusPanel(0, std::string(fixed_text::kProgrammerReady));
}

void TMainPresenter::OnProgrammerMissing() {
  DisableControls();
  FWindow.SetStatusPanel(0, std::string(fixed_text::kProgrammerMissing));
}

void TMainPresenter::OnDeviceChangeHandled() {
  if (FWindow.MainWindowEnabled()) return;
  FWindow.SetMainWindowEnabled(true);
  FWindow.SetGaugePosition(0);
  FWindow.CloseProgress();
}

void TMainPresenter::OnFinished(TOperationResult result) {
  // A programmer that went away: the device change sets the window.
  if (result == TOperationResult::Abandoned) return;
  EnableControls();
  FWindow.SetGaugePosition(0);
  FWindow.SetMainWindowEnabled(true);
  FWindow.CloseProgress();
}

}  // namespace quenvar
