#pragma once

// The main window: renders the operation driver's window model and forwards
// every click, each through the standard error box, so no error escapes into
// the event loop.

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quenvar/app/error_box.h"
#include "quenvar/app/exit_reminder.h"
#include "quenvar/app/file_dialogs.h"
#include "quenvar/app/main_form_logic.h"
#include "quenvar/app/qt_translations.h"
#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/buffer/mp_hex_editor_ex.h"
#include "quenvar/core/hex_editor_buffer.h"
#include "quenvar/core/programmer_session.h"

class QAction;
class QActionGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace quenvar {

class TForm1;
class TInfoForm;

// The driver's reply time-out on a Qt timer. It runs exactly while the driver
// waits for a reply, that is while an operation runs.
class TQtReplyTimer final : public IReplyTimer {
 public:
  TQtReplyTimer();
  void Start(std::chrono::milliseconds Timeout, std::function<void()> OnExpired) override;
  void Stop() override;
  bool Running() const { return FTimer.isActive(); }

  // The driver waits no more: the operation has ended, timed out or was
  // abandoned. Runs inside the driver's step, so it must not re-enter it.
  std::function<void()> OnIdle;

 private:
  QTimer FTimer;
  std::function<void()> FOnExpired;
};

class TMainForm : public QMainWindow, private TExitReminder {
  Q_OBJECT

 public:
  // OnSessionCreated runs right after the driver exists and before the
  // settings are restored: the HID link attaches there and reports its first
  // device change, so the programmer is claimed before FormCreate.
  TMainForm(IProgrammerPort& Port, TSettingsStore& RegistryEdit1, TErrorBox& ErrorBox,
            const std::function<void(TProgrammerSession&)>& OnSessionCreated = {});
  ~TMainForm() override;

  // The other three windows are created after the main window.
  void SetAuxiliaryWindows(TInfoForm* Info, TForm1* Progress, TExitReminder* Warning);

  TProgrammerSession& Session() { return *FSession; }
  TMainFormLogic& Logic() { return FLogic; }
  TCustomMPHexEditor& HexModel() { return FHexeditor->Model(); }

  // Named widgets, for the application and its tests; null for other names.
  QAction* Action(const std::string& Name) const;
  QMenu* Menu(const std::string& Name) const;
  QPushButton* Button(const std::string& Name) const;
  QLabel* StatusPanel(int Index) const { return FPanels[Index]; }

  TMPHexEditorEx* Hexeditor() const { return FHexeditor; }
  QGroupBox* GBDevice = nullptr;
  QLineEdit* Device = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* AutoDevice = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* CodeSize = nullptr;
  QLabel* Label3 = nullptr;
  QListWidget* FuseList = nullptr;
  QPlainTextEdit* Verlauf = nullptr;

  // Shows the model; runs after every change of it.
  void Render();

  // Runs whenever the driver has newly claimed a programmer after start-up
  // (it was plugged in), e.g. to check that this user may open it.
  std::function<void()> OnProgrammerClaimed;
  // Runs after every operation, once the driver's step has returned.
  std::function<void()> OnOperationEnded;
  // Whether the driver is in the middle of an operation.
  bool OperationRunning() const { return FTimer.Running(); }

 signals:
  // The main window has closed and the exit reminder was dismissed.
  void Finished();

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  void ShowModal() override;
  void BuildMenus();
  QActionGroup* RadioGroup(std::string_view Menu);
  void BuildControls();
  void Forward(const std::string& Name);
  void FuseItemChanged(int Row);
  void RenderLog(const std::vector<std::string>& Lines);
  void RenderStatusBar(const TWindowModel& Window);
  void RenderProgress(const TWindowModel& Window);
  void ShowInfo();
  void OperationEnded();

  TErrorBox& FErrorBox;
  // Made first: the buffer and the logic work on its model. Owned by the
  // client area once that exists.
  TMPHexEditorEx* FHexeditor;
  THexEditorBuffer FBuffer{FHexeditor->Model()};
  TQtReplyTimer FTimer;
  TMainFormLogic FLogic;
  std::unique_ptr<TProgrammerSession> FSession;

  TFileDialogs FDialogs{this};
  TQtTranslations FQtTranslations;

  std::map<std::string, QAction*> FActions;
  std::map<std::string, QMenu*> FMenus;
  std::map<std::string, QPushButton*> FButtons;
  QActionGroup* FTargetGroup = nullptr;
  QActionGroup* FLanguageGroup = nullptr;
  QLabel* FPanels[3] = {};
  std::vector<std::string> FShownLog;
  bool FRendering = false;
  bool FHadProgrammer = false;
  bool FClosed = false;
  // A close request came while an operation ran: it closes once that ends.
  bool FClosePending = false;

  TInfoForm* FInfoForm = nullptr;
  TForm1* FForm1 = nullptr;
  TExitReminder* FWarningForm = nullptr;
};

}  // namespace quenvar
