#pragma once

// What the main window does beyond the operation driver, without widgets: the
// start-up and close sequences, the buffer editing commands, the byte count,
// the two check marks that persist, the language entries, and the open and
// save commands. The Qt window renders the driver's window model and forwards
// its menu entries here.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "quenvar/app/exit_reminder.h"
#include "quenvar/app/language_switch.h"
#include "quenvar/app/settings_store.h"
#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/buffer/file_ops.h"
#include "quenvar/core/driver_ports.h"
#include "quenvar/core/programmer_session.h"

namespace quenvar {

// A file step that failed on the file system; the standard error box shows it.
class TFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// " байт" after the decimal count, in every language.
std::string ByteCountText(std::uint32_t DataLength);

class TMainFormLogic final : public IFileReloader, private TLanguageSink {
 public:
  struct TDialog {
    std::string Title;
    std::string Filter;
  };

  TMainFormLogic(TCustomMPHexEditor& Hexeditor, TSettingsStore& RegistryEdit1,
                 TExitReminder& WarningForm);

  // The driver is made after this object, which is its file reloader.
  void Attach(TProgrammerSession& Session);

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
  std::function<std::optional<std::string>(const TDialog& Dialog)> AskOpenFileName;
  std::function<std::optional<std::string>(const TDialog& Dialog)> AskSaveFileName;
  // A modal message box with one OK button (the file-format errors).
  std::function<void(const std::string& Text)> ShowMessage;
  // Errors that must not stop the step they happen in (start-up settings,
  // storing the target on close): shown by the standard error box.
  std::function<void(const std::string& Text)> OnError;

 private:
  void SetChecked(std::string_view Name, bool Checked) override;
  void SetLanguageIndex(std::uint8_t LanguageIndex) override;
  void SetCaption(std::string_view Name, std::string_view Caption) override;
  void SetDialogTexts(std::string_view Dialog, std::string_view Title,
                      std::string_view Filter) override;

  TProgrammerSession& Session();
  TWindowModel& Window() { return Session().Window(); }
  void Report(const std::string& Text);
  // Shows or raises what a load left to report; false when it failed.
  bool Settle(const TLoadOutcome& Outcome);

  TCustomMPHexEditor& FHexeditor;
  TSettingsStore& FStore;
  TExitReminder& FWarningForm;
  TProgrammerSession* FSession = nullptr;
  TLanguageSwitch FLanguages;
  TFileOps FFileOps;
  TDialog FOpenDialog;
  TDialog FSaveDialog;
};

}  // namespace quenvar
