#include "quenvar/app/main_form_logic.h"

#include <stdexcept>

#include "quenvar/app/app_settings.h"
#include "quenvar/app/language_tables.h"

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

void TMainFormLogic::Attach(TProgrammerSession& Session) {
  FSession = &Session;
}

TProgrammerSession& TMainFormLogic::Session() {
  if (FSession == nullptr) throw std::logic_error("main window used before its driver exists");
  return *FSession;
}

void TMainFormLogic::Report(const std::string& Text) {
  if (OnError) OnError(Text);
}

void TMainFormLogic::FormCreate() {
  // The driver starts Idle; the programmer was claimed when the HID link
  // reported its first device change.
  TAppSettings settings(FStore);
  Window().SetChecked("nverifyprogramm", settings.RestoreVerifyAfterProgram());
  Window().SetChecked("updatebuffer", settings.RestoreUpdateBuffer());
  const std::uint8_t language = settings.RestoreLanguage();
  std::optional<std::string> languageError;
  try {
    FLanguages.Apply(language);
  } catch (const TRegistryError& error) {
    languageError = error.what();
  }
  Session().RestoreTarget(settings.RestoreLastDevice());
  if (!Session().HasProgrammer()) Session().DisableControls();

  // A failed settings read or write is shown once, after the window is set up.
  if (settings.StartupError()) {
    Report(*settings.StartupError());
  } else if (languageError) {
    Report(*languageError);
  }
}

void TMainFormLogic::FormClose() {
  try {
    FStore.PutInteger(ValueLastDevice, Session().LastDeviceIndex());
  } catch (const TRegistryError& error) {
    // The reminder and the end of the program must come all the same.
    Report(error.what());
  }
  FWarningForm.ShowModal();
}

void TMainFormLogic::HexeditorChange() {
  if (Window().Checked("neditbuffer") && FHexeditor.UndoAvailable()) {
    Window().SetEnabled("nUndo", true);
  }
  const std::uint32_t length = FHexeditor.DataLength();
  Window().SetStatusPanel(2, ByteCountText(length));
  Session().EnableBufferCommands(length);
}

void TMainFormLogic::neditbufferClick() {
  Window().SetChecked("neditbuffer", !Window().Checked("neditbuffer"));
  if (FHexeditor.ReadOnlyView()) {
    FHexeditor.SetReadOnlyView(false);
    FHexeditor.SetInsertMode(true);
  } else {
    FHexeditor.SetReadOnlyView(true);
    Window().SetEnabled("nUndo", false);
    Window().SetEnabled("nRedo", false);
  }
}

void TMainFormLogic::nUndoClick() {
  FHexeditor.UndoLast();
  Window().SetEnabled("nRedo", true);
  if (!FHexeditor.UndoAvailable()) Window().SetEnabled("nUndo", false);
}

void TMainFormLogic::nRedoClick() {
  FHexeditor.RedoLast();
  Window().SetEnabled("nUndo", true);
  if (!FHexeditor.RedoAvailable()) Window().SetEnabled("nRedo", false);
}

void TMainFormLogic::nverifyprogrammClick() {
  const bool checked = !Window().Checked("nverifyprogramm");
  Window().SetChecked("nverifyprogramm", checked);
  TAppSettings(FStore).StoreVerifyAfterProgram(checked);
}

void TMainFormLogic::updatebufferClick() {
  const bool checked = !Window().Checked("updatebuffer");
  Window().SetChecked("updatebuffer", checked);
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
  std::uint8_t errorFlag = 0;
  return Settle(FFileOps.LoadFile(Session().LanguageIndexValue(), errorFlag)) && errorFlag == 0;
}

void TMainFormLogic::nopenClick() {
  std::optional<std::string> chosen;
  if (AskOpenFileName) chosen = AskOpenFileName(FOpenDialog);
  std::uint8_t errorFlag = 0;
  const TOpenOutcome outcome = FFileOps.OpenFile(chosen, Session().LanguageIndexValue(), errorFlag);
  if (!outcome.Acted) return;
  Window().SetStatusPanel(1, outcome.StatusFileName);
  if (outcome.EnableBufferActions) {
    for (const char* name : {"bProg", "bVerify", "nsave", "nprogflash", "nverifyflash"}) {
      Window().SetEnabled(name, true);
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

void TMainFormLogic::SetChecked(std::string_view Name, bool Checked) {
  Window().SetChecked(Name, Checked);
}

void TMainFormLogic::SetLanguageIndex(std::uint8_t LanguageIndex) {
  Session().SetLanguageIndex(LanguageIndex);
}

void TMainFormLogic::SetCaption(std::string_view Name, std::string_view Caption) {
  Window().SetCaption(Name, std::string(Caption));
}

void TMainFormLogic::SetDialogTexts(std::string_view Dialog, std::string_view Title,
                                    std::string_view Filter) {
  TDialog& dialog = Dialog == OpenDialogName ? FOpenDialog : FSaveDialog;
  dialog.Title = std::string(Title);
  dialog.Filter = std::string(Filter);
}

}  // namespace quenvar
