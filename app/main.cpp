// Quenvar: start-up. The main window first, then the info, progress and exit
// reminder windows; they all live until the message loop ends.

#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "quenvar/app/info_form.h"
#include "quenvar/app/main_form.h"
#include "quenvar/app/progress_form.h"
#include "quenvar/app/qt_event_loop.h"
#include "quenvar/app/quenvar_application.h"
#include "quenvar/app/registry_edit.h"
#include "quenvar/app/simulator_state.h"
#include "quenvar/app/warning_form.h"
#include "quenvar/hid/jv_hid_device.h"
#include "quenvar/presenter/app_settings.h"
#include "quenvar/presenter/command_line.h"
#include "quenvar/presenter/language_tables.h"
#include "quenvar/stack/programmer_stack.h"
#if defined(__linux__)
#include "quenvar/hid/hidraw_backend.h"
#elif defined(_WIN32)
#include "quenvar/hid/hid_win_backend.h"
#endif

int main(int argc, char** argv) {
  using namespace quenvar;
  if (const std::optional<int> code =
          CommandLineExit(argc, argv, QUENVAR_VERSION, std::cout, std::cerr)) {
    return *code;
  }
  TApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);

  TRegistryEdit RegistryEdit1;
  RegistryEdit1.SetRootKey(TRootKey::rkLocalMachine);
  RegistryEdit1.SetRegKey(std::string(kSettingsKeyPath));

  TQtEventLoop loop;
  TProgrammerStack stack(loop);
  TStackOptions options;
  options.FSimulate = SimulateOption(argc, argv);
  options.FOnWaitForState = [](const std::string&) {
    std::cerr << "quenvar: waiting until another program is done with the simulator's state file\n";
  };
#if defined(__linux__)
  options.FMakeBackend = [] { return std::make_shared<THidrawBackend>(); };
#elif defined(_WIN32)
  options.MakeBackend = [] { return std::make_shared<THidWinBackend>(); };
#endif
  if (const TResult<void> opened = stack.Open(options); !opened) {
    const TError& error = opened.Error();
    app.ErrorBox().Show(IsSimulatorError(error) ? "--simulate: " + error.FText : error.FText);
    return 1;
  }

  TMainForm MainForm(stack, RegistryEdit1, app.ErrorBox());
  TInfoForm InfoForm;
  TForm1 Form1(&MainForm);
  TWarningForm WarningForm(&MainForm);
  MainForm.SetAuxiliaryWindows(&InfoForm, &Form1, &WarningForm);
  KeepSimulatorState(stack, MainForm, app.ErrorBox());
  QObject::connect(&MainForm, &TMainForm::Finished, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  MainForm.show();

  // Found but not ours to open: say what to do instead of failing silently.
  const auto checkAccess = [&] {
    TJvHidDevice* device = stack.ClaimedDevice();
    if (device == nullptr) return;
    device->Capabilities();
    if (!device->ReadWriteAccess()) {
      app.ErrorBox().Show(
          std::string(PermissionMessage(MainForm.Presenter().LanguageIndexValue())));
    }
  };
  checkAccess();
  MainForm.FOnProgrammerClaimed = checkAccess;

  return app.exec();
}
