// Quenvar: start-up. The main window first, then the info, progress and exit
// reminder windows; they all live until the message loop ends.

#include <QMessageBox>
#include <cstdio>
#include <optional>
#include <string>

#include "quenvar/app/app_settings.h"
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

namespace {

// "--simulate" or "--simulate=TEXT" runs against the simulated programmer.
std::optional<std::string> SimulateOption(int Argc, char** Argv) {
  const std::string flag = "--simulate";
  for (int i = 1; i < Argc; ++i) {
    const std::string arg = Argv[i];
    if (arg == flag) return std::string();
    if (arg.rfind(flag + "=", 0) == 0) return arg.substr(flag.size() + 1);
  }
  return std::nullopt;
}

QString Q(std::string_view Utf8) {
  return QString::fromUtf8(Utf8.data(), static_cast<qsizetype>(Utf8.size()));
}

constexpr const char* kUsage =
    "Usage: quenvar [--simulate[=TEXT]]\n"
    "Reads, writes, verifies and erases AVR microcontrollers (ISP) and 24xx serial\n"
    "EEPROMs through the USB HID programmer 0451:3210.\n"
    "\n"
    "  --simulate[=TEXT]  use the simulated programmer instead of the hardware;\n"
    "                     TEXT like isp=ATmega8,socket=24AA256,timing=real\n"
    "                     (isp=CHIP|locked|none|sig:1E9307, timing=none|real)\n"
    "  --help             show this text\n"
    "  --version          show the version\n";

// Handles --help, --version and anything unknown before a window exists.
// Returns the exit code when the program should end at once.
std::optional<int> CommandLineExit(int Argc, char** Argv) {
  for (int i = 1; i < Argc; ++i) {
    const std::string arg = Argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("quenvar %s\n", QUENVAR_VERSION);
      return 0;
    }
    if (arg == "--simulate" || arg.rfind("--simulate=", 0) == 0) continue;
    // Qt's own options (e.g. -platform, -style) pass through.
    if (arg.rfind("--", 0) == 0) {
      std::fprintf(stderr, "quenvar: unknown option '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quenvar;
  if (const std::optional<int> code = CommandLineExit(argc, argv)) return *code;
  TApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);

  TRegistryEdit RegistryEdit1;
  RegistryEdit1.SetRootKey(TRootKey::rkLocalMachine);
  RegistryEdit1.SetRegKey(std::string(SettingsKeyPath));

  THidLink link;
  if (const std::optional<std::string> error = link.Open(SimulateOption(argc, argv))) {
    QMessageBox::critical(nullptr, Q(fixed_text::ApplicationTitle), QString::fromStdString(*error));
    return 1;
  }
  THidProgrammerPort port(link.Controller());

  TMainForm MainForm(port, RegistryEdit1, app.ErrorBox(),
                     [&port](TProgrammerSession& session) { port.Attach(session); });
  TInfoForm InfoForm;
  TForm1 Form1(&MainForm);
  TWarningForm WarningForm(&MainForm);
  MainForm.SetAuxiliaryWindows(&InfoForm, &Form1, &WarningForm);
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
