#include "quenvar/presenter/main_form_logic.h"

#include <stdexcept>

#include "quenvar/presenter/app_settings.h"
#include "quenvar/presenter/language_tables.h"

namespace quenvar {

std::string ByteCountText(std::uint32_t DataLength) {
  return std::to_string(DataLength) + std::string(fixed_text::ByteUnit);
}

TMainFormLogic::TMainFormLogic(TCustomMPHexEditor& Hexeditor, TSettingsStore& RegistryEdit1,
                               TExitReminder& WarningForm)
    : FHexeditor(Hexeditor),
      FStore(RegistryEdit1),
      FWarningForm(WarningForm),
      FLanguages(*this, RegistryEdit1),
      FFileOps(Hexeditor) {}

void TMainFormLogic::Attach(TMainPresenter& Presenter) {
  FPresenter = &Presenter;
  Presenter.AttachLogic(this);
  Presenter.SetReloader(this);
}

TMainPresenter& TMainFormLogic::Presenter() {
  if (FPresenter == nullptr) throw std::logic_error("main window used before its presenter exists");
  return *FPresenter;
}

void TMainFormLogic::Report(const std::string& Text) {
  if (OnError) OnError(Text);
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
    FStore.PutInteger(ValueLastDevice, Presenter().LastDeviceIndex());
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

bool TMainFormLogic::Settle(const TLoadOutcome& Outcome) {
  switch (Outcome.Status) {
    case TLoadStatus::Nothing:
    case TLoadStatus::Loaded:
      return true;
    case TLoadStatus::FormatError:
      if (ShowMessage) ShowMessage(Outcome.Message);
      return false;
    case TLoadStatus::FileError:
      throw TFileError(Outcome.Message);
  }
  return false;
}

bool TMainFormLogic::LoadFile() {
  const TLoadOutcome outcome = FFileOps.LoadFile(Presenter().LanguageIndexValue());
  return Settle(outcome) && !outcome.ErrorFlag();
}

void TMainFormLogic::nopenClick() {
  std::optional<std::string> chosen;
  if (AskOpenFileName) chosen = AskOpenFileName(FOpenDialog);
  const TOpenOutcome outcome = FFileOps.OpenFile(chosen, Presenter().LanguageIndexValue());
  if (!outcome.Acted) return;
  Window().SetStatusPanel(1, outcome.StatusFileName);
  if (outcome.EnableBufferActions) {
    using enum TControl;
    for (TControl control : {bProg, bVerify, nsave, nprogflash, nverifyflash}) {
      Window().SetEnabled(control, true);
    }
  }
  Settle(outcome.Load);
}

void TMainFormLogic::nsaveClick() {
  std::optional<std::string> chosen;
  if (AskSaveFileName) chosen = AskSaveFileName(FSaveDialog);
  const TSaveOutcome outcome = FFileOps.SaveFile(chosen);
  if (outcome.Status == TSaveStatus::Failed) throw TFileError(outcome.Message);
}

void TMainFormLogic::SetChecked(TControl Control, bool Checked) {
  Window().SetChecked(Control, Checked);
}

void TMainFormLogic::SetLanguageIndex(std::uint8_t LanguageIndex) {
  Presenter().SetLanguageIndex(LanguageIndex);
}

void TMainFormLogic::SetCaption(TControl Control, std::string_view Caption) {
  Window().SetCaption(Control, std::string(Caption));
}

void TMainFormLogic::SetDialogTexts(std::string_view Dialog, std::string_view Title,
                                    std::string_view Filter) {
  TDialog& dialog = Dialog == OpenDialogName ? FOpenDialog : FSaveDialog;
  dialog.Title = std::string(Title);
  dialog.Filter = std::string(Filter);
}

}  // namespace quenvar
