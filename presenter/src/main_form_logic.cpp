#include "quenvar/presenter/main_form_logic.h"

#include <stdexcept>

#include "quenvar/presenter/app_settings.h"
#include "quenvar/presenter/language_tables.h"

namespace quenvar {

std::string ByteCountText(std::uint32_t dataLength) {
  return std::to_string(dataLength) + std::string(fixed_text::kByteUnit);
}

TMainFormLogic::TMainFormLogic(TCustomMPHexEditor& hexeditor, ISettingsStore& registryEdit1,
                               IExitReminder& warningForm)
    : FHexeditor(hexeditor),
      FStore(registryEdit1),
      FWarningForm(warningForm),
      FLanguages(*this, registryEdit1),
      FFileOps(hexeditor) {}

void TMainFormLogic::Attach(TMainPresenter& presenter) {
  FPresenter = &presenter;
  presenter.AttachLogic(this);
  presenter.SetReloader(this);
}

TMainPresenter& TMainFormLogic::Presenter() {
  if (FPresenter == nullptr) throw std::logic_error("main window used before its presenter exists");
  return *FPresenter;
}

void TMainFormLogic::Report(const std::string& text) {
  if (FOnError) FOnError(text);
}

void TMainFormLogic::FormCreate() {
  // The driver starts Idle; the programmer was claimed when the HID link
  // reported its first device change.
  TAppSettings settings(FStore);
  Presenter().SetVerifyAfterProgram(settings.RestoreVerifyAfterProgram());
  Window().SetChecked(TControl::updatebuffer, settings.RestoreUpdateBuffer());
  const std::uint8_t language = settings.RestoreLanguage();
  std::optional<std::string> languageError;
  try {
    FLanguages.Apply(language);
  } catch (const TRegistryError& error) {
    languageError = error.what();
  }
  Presenter().RestoreTarget(settings.RestoreLastDevice());
  if (!Presenter().Driver().HasProgrammer()) Presenter().DisableControls();

  // A failed settings read or write is shown once, after the window is set up.
  if (settings.StartupError()) {
    Report(*settings.StartupError());
  } else if (languageError) {
    Report(*languageError);
  }
}

void TMainFormLogic::FormClose() {
  try {
    FStore.PutInteger(kValueLastDevice, Presenter().LastDeviceIndex());
  } catch (const TRegistryError& error) {
    // The reminder and the end of the program must come all the same.
    Report(error.what());
  }
  FWarningForm.ShowModal();
}

void TMainFormLogic::HexeditorChange() {
  if (Window().Checked(TControl::neditbuffer) && FHexeditor.UndoAvailable()) {
    Window().SetEnabled(TControl::nUndo, true);
  }
  const std::uint32_t length = FHexeditor.DataLength();
  Window().SetStatusPanel(2, ByteCountText(length));
  Presenter().EnableBufferCommands(length);
}

void TMainFormLogic::neditbufferClick() {
  Window().SetChecked(TControl::neditbuffer, !Window().Checked(TControl::neditbuffer));
  if (FHexeditor.ReadOnlyView()) {
    FHexeditor.SetReadOnlyView(false);
    FHexeditor.SetInsertMode(true);
  } else {
    FHexeditor.SetReadOnlyView(true);
    Window().SetEnabled(TControl::nUndo, false);
    Window().SetEnabled(TControl::nRedo, false);
  }
}

void TMainFormLogic::nUndoClick() {
  FHexeditor.UndoLast();
  Window().SetEnabled(TControl::nRedo, true);
  if (!FHexeditor.UndoAvailable()) Window().SetEnabled(TControl::nUndo, false);
}

void TMainFormLogic::nRedoClick() {
  FHexeditor.RedoLast();
  Window().SetEnabled(TControl::nUndo, true);
  if (!FHexeditor.RedoAvailable()) Window().SetEnabled(TControl::nRedo, false);
}

void TMainFormLogic::nverifyprogrammClick() {
  const bool checked = !Window().Checked(TControl::nverifyprogramm);
  Presenter().SetVerifyAfterProgram(checked);
  TAppSettings(FStore).StoreVerifyAfterProgram(checked);
}

void TMainFormLogic::updatebufferClick() {
  const bool checked = !Window().Checked(TControl::updatebuffer);
  Window().SetChecked(TControl::updatebuffer, checked);
  TAppSettings(FStore).StoreUpdateBuffer(checked);
}

bool TMainFormLogic::Settle(const TLoadOutcome& outcome) {
  switch (outcome.FStatus) {
    case TLoadStatus::Nothing:
    case TLoadStatus::Loaded:
      return true;
    case TLoadStatus::FormatError:
      if (FShowMessage) FShowMessage(outcome.FMessage);
      return false;
    case TLoadStatus::FileError:
      throw TFileError(outcome.FMessage);
  }
  return false;
}

bool TMainFormLogic::LoadFile() {
  const TLoadOutcome outcome = FFileOps.LoadFile(Presenter().LanguageIndexValue());
  return Settle(outcome) && !outcome.ErrorFlag();
}

void TMainFormLogic::nopenClick() {
  std::optional<std::string> chosen;
  if (FAskOpenFileName) chosen = FAskOpenFileName(FOpenDialog);
  const TOpenOutcome outcome = FFileOps.OpenFile(chosen, Presenter().LanguageIndexValue());
  if (!outcome.FActed) return;
  Window().SetStatusPanel(1, outcome.FStatusFileName);
  if (outcome.FEnableBufferActions) {
    using enum TControl;
    for (TControl control : {bProg, bVerify, nsave, nprogflash, nverifyflash}) {
      Window().SetEnabled(control, true);
    }
  }
  Settle(outcome.FLoad);
}

void TMainFormLogic::nsaveClick() {
  std::optional<std::string> chosen;
  if (FAskSaveFileName) chosen = FAskSaveFileName(FSaveDialog);
  const TSaveOutcome outcome = FFileOps.SaveFile(chosen);
  if (outcome.FStatus == TSaveStatus::Failed) throw TFileError(outcome.FMessage);
}

void TMainFormLogic::SetChecked(TControl control, bool checked) {
  Window().SetChecked(control, checked);
}

void TMainFormLogic::SetLanguageIndex(std::uint8_t languageIndex) {
  Presenter().SetLanguageIndex(languageIndex);
}

void TMainFormLogic::SetCaption(TControl control, std::string_view caption) {
  Window().SetCaption(control, std::string(caption));
}

void TMainFormLogic::SetDialogTexts(std::string_view dialog, std::string_view title,
                                    std::string_view filter) {
  TDialog& texts = dialog == kOpenDialogName ? FOpenDialog : FSaveDialog;
  texts.FTitle = std::string(title);
  texts.FFilter = std::string(filter);
}

}  // namespace quenvar
