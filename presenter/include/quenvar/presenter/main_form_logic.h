#pragma once

// What the main window does beyond the operation driver, without widgets: the
// start-up and close sequences, the buffer editing commands, the byte count,
// the two check marks that persist, the language entries, and the open and
// save commands. The presenter routes the window's menu entries here.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/buffer/file_ops.h"
#include "quenvar/presenter/exit_reminder.h"
#include "quenvar/presenter/language_switch.h"
#include "quenvar/presenter/main_presenter.h"
#include "quenvar/presenter/settings_store.h"

namespace quenvar {

// A file step that failed on the file system; the standard error box shows it.
class TFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// " байт" after the decimal count, in every language.
std::string ByteCountText(std::uint32_t dataLength);

class TMainFormLogic final : public IFileReloader, private ILanguageSink {
 public:
  struct TDialog {
    std::string FTitle;
    std::string FFilter;
  };

  TMainFormLogic(TCustomMPHexEditor& hexeditor, ISettingsStore& registryEdit1,
                 IExitReminder& warningForm);

  // The presenter routes its commands here; this object re-reads the file for it.
  void Attach(TMainPresenter& presenter);

  void FormCreate();
  void FormClose();

  void HexeditorChange();
  void neditbufferClick();
  void nUndoClick();
  void nRedoClick();
  void nverifyprogrammClick();
  void updatebufferClick();
  void sDeutschClick() { FLanguages.sDeutschClick(); }
  void sEnglishClick() { FLanguages.sEnglishClick(); }
  void sRusClick() { FLanguages.sRusClick(); }
  void nopenClick();
  void nsaveClick();

  // The re-read of the last opened file before program and verify.
  bool LoadFile() override;

  const TDialog& OpenDialog1() const { return FOpenDialog; }
  const TDialog& SaveDialog1() const { return FSaveDialog; }
  const TFileOps& FileOps() const { return FFileOps; }

  // The open and save dialogs: title and filter in, the chosen name out
  // (nothing when cancelled).
  std::function<std::optional<std::string>(const TDialog& dialog)> FAskOpenFileName;
  std::function<std::optional<std::string>(const TDialog& dialog)> FAskSaveFileName;
  // A modal message box with one OK button (the file-format errors).
  std::function<void(const std::string& text)> FShowMessage;
  // Errors that must not stop the step they happen in (start-up settings,
  // storing the target on close): shown by the standard error box.
  std::function<void(const std::string& text)> FOnError;

 private:
  void SetChecked(TControl control, bool checked) override;
  void SetLanguageIndex(std::uint8_t languageIndex) override;
  void SetCaption(TControl control, std::string_view caption) override;
  void SetDialogTexts(std::string_view dialog, std::string_view title,
                      std::string_view filter) override;

  TMainPresenter& Presenter();
  TWindowModel& Window() { return Presenter().Window(); }
  void Report(const std::string& text);
  // Shows or raises what a load left to report; false when it failed.
  bool Settle(const TLoadOutcome& outcome);

  TCustomMPHexEditor& FHexeditor;
  ISettingsStore& FStore;
  IExitReminder& FWarningForm;
  TMainPresenter* FPresenter = nullptr;
  TLanguageSwitch FLanguages;
  TFileOps FFileOps;
  TDialog FOpenDialog;
  TDialog FSaveDialog;
};

}  // namespace quenvar
