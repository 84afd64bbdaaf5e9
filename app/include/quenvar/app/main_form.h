#pragma once

// The main window: renders the presenter's window model and forwards every
// click, each through the standard error box, so no error escapes into the
// event loop. Widgets, painting and forwarding only.

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quenvar/app/error_box.h"
#include "quenvar/app/file_dialogs.h"
#include "quenvar/app/qt_translations.h"
#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/buffer/mp_hex_editor_ex.h"
#include "quenvar/presenter/controls.h"
#include "quenvar/presenter/exit_reminder.h"
#include "quenvar/presenter/main_form_logic.h"
#include "quenvar/presenter/main_presenter.h"
#include "quenvar/stack/programmer_stack.h"

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

class TMainForm : public QMainWindow, private IExitReminder {
  Q_OBJECT

 public:
  // Starts the stack's driver over this window's buffer and attaches it
  // before the settings are restored: its first device change claims the
  // programmer before FormCreate. The stack must be open.
  TMainForm(TProgrammerStack& stack, ISettingsStore& registryEdit1, TErrorBox& errorBox);
  ~TMainForm() override;

  // The other three windows are created after the main window.
  void SetAuxiliaryWindows(TInfoForm* info, TForm1* progress, IExitReminder* warning);

  TMainPresenter& Presenter() { return *FPresenter; }
  TMainFormLogic& Logic() { return FLogic; }
  TCustomMPHexEditor& HexModel() { return FHexeditor->Model(); }

  // Named widgets, for the application and its tests; null for other names.
  QAction* Action(const std::string& name) const;
  QMenu* Menu(const std::string& name) const;
  QPushButton* Button(const std::string& name) const;
  QLabel* StatusPanel(int index) const { return FPanels[index]; }

  TMPHexEditorEx* Hexeditor() const { return FHexeditor; }
  QGroupBox* FGBDevice = nullptr;
  QLineEdit* FDevice = nullptr;
  QLabel* FLabel1 = nullptr;
  QLineEdit* FAutoDevice = nullptr;
  QLabel* FLabel2 = nullptr;
  QLineEdit* FCodeSize = nullptr;
  QLabel* FLabel3 = nullptr;
  QListWidget* FFuseList = nullptr;
  QPlainTextEdit* FVerlauf = nullptr;

  // Shows the model; runs after every change of it.
  void Render();

  // Runs whenever the driver has newly claimed a programmer after start-up
  // (it was plugged in), e.g. to check that this user may open it.
  std::function<void()> FOnProgrammerClaimed;
  // Runs after every operation, once the driver's step has returned.
  std::function<void()> FOnOperationEnded;
  // Whether the driver is in the middle of an operation.
  bool OperationRunning() const { return FStack.ReplyTimer().Running(); }

 signals:
  // The main window has closed and the exit reminder was dismissed.
  void Finished();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowModal() override;
  void BuildMenus();
  QActionGroup* RadioGroup(TControl menu);
  void BuildControls();
  void Forward(TControl control);
  void FuseItemChanged(int row);
  void RenderLog(const std::vector<std::string>& lines);
  void RenderStatusBar(const TWindowModel& window);
  void RenderProgress(const TWindowModel& window);
  void ShowInfo();
  void OperationEnded();

  TProgrammerStack& FStack;
  TErrorBox& FErrorBox;
  // Made first: the driver and the logic work on its model. Owned by the
  // client area once that exists.
  TMPHexEditorEx* FHexeditor;
  TMainFormLogic FLogic;
  std::unique_ptr<TMainPresenter> FPresenter;

  TFileDialogs FDialogs{this};
  TQtTranslations FQtTranslations;

  std::map<TControl, QAction*> FActions;
  std::map<TControl, QMenu*> FMenus;
  std::map<TControl, QPushButton*> FButtons;
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
  IExitReminder* FWarningForm = nullptr;
};

}  // namespace quenvar
