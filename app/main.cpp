// Quenvar: start-up. The main window first, then the info, progress and exit
// reminder windows; they all live until the message loop ends.

#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "quenvar/app/app_settings.h"
#include "quenvar/app/command_line.h"
#include "quenvar/app/hid_link.h"
#include "quenvar/app/info_form.h"
#include "quenvar/app/language_tables.h"
#include "quenvar/app/main_form.h"
#include "quenvar/app/progress_form.h"
#include "quenvar/app/quenvar_application.h"
#include "quenvar/app/registry_edit.h"
#include "quenvar/app/warning_form.h"
#include "quenvar/core/hid_programmer_port.h"
#include "quenvar/hid/jv_hid_device.h"
#if defined(__linux__)
#include "quenvar/hid/hidraw_backend.h"
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
  RegistryEdit1.SetRegKey(std::string(SettingsKeyPath));

#if defined(__linux__)
  THidLink link([] { return std::make_shared<THidrawBackend>(); });
#else
  THidLink link;
#endif
  const std::optional<std::string> simulate = SimulateOption(argc, argv);
  const auto waitForState = [] {
    std::cerr << "quenvar: waiting until another program is done with the simulator's state file\n";
  };
  if (const std::optional<std::string> error = link.Open(simulate, waitForState)) {
    app.ErrorBox().Show(*error);
    return 1;
  }
  THidProgrammerPort port(link.Controller());

  TMainForm MainForm(port, RegistryEdit1, app.ErrorBox(),
                     [&port](TProgrammerSession& session) { port.Attach(session); });
  TInfoForm InfoForm;
  TForm1 Form1(&MainForm);
  TWarningForm WarningForm(&MainForm);
  MainForm.SetAuxiliaryWindows(&InfoForm, &Form1, &WarningForm);
  KeepSimulatorState(link, MainForm, app.ErrorBox());
  QObject::connect(&MainForm, &TMainForm::Finished, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  MainForm.show();

  // Found but not ours to open: say what to do instead of failing silently.
  const auto checkAccess = [&] {
    TJvHidDevice* device = port.ClaimedDevice();
    if (device == nullptr) return;
    device->Capabilities();
    if (!device->ReadWriteAccess()) {
      app.ErrorBox().Show(std::string(PermissionMessage(MainForm.Session().LanguageIndexValue())));
    }
  };
  checkAccess();
  MainForm.OnProgrammerClaimed = checkAccess;

  const int result = app.exec();
  port.Detach();
  return result;
}
