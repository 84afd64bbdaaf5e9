// Renders the main window into PNG files for the documentation: in each
// language, a detect and a flash read against the simulated programmer.
// Usage: quenvar-screenshots OUTDIR   (run it under a real or virtual X server)

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <string>

#include "quenvar/app/main_form.h"
#include "quenvar/app/progress_form.h"
#include "quenvar/app/qt_event_loop.h"
#include "quenvar/app/quenvar_application.h"
#include "quenvar/app/registry_edit.h"
#include "quenvar/sim/sim_programmer.h"
#include "quenvar/stack/programmer_stack.h"

namespace {

using namespace quenvar;

// Runs the event loop until the operation has ended and the window is back.
bool AwaitIdle(TMainForm& form) {
  QElapsedTimer clock;
  clock.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (form.Presenter().Driver().ProtocolStateValue() == TProtocolState::Idle &&
        form.isEnabled()) {
      return true;
    }
  } while (clock.elapsed() < 10000);
  return false;
}

// Something worth looking at in the simulated chip: a vector table and text.
void FillDemoFlash(TSimProgrammer& sim) {
  std::vector<std::uint8_t>& flash = sim.Avr().Flash();
  for (std::size_t i = 0; i < 38; i += 2) {
    flash[i] = 0x12;
    flash[i + 1] = 0xC0;
  }
  const std::string text = "Quenvar demo image - simulated ATmega8 on the ISP connector. ";
  for (std::size_t i = 0; i < 0xC0; ++i)
    flash[0x26 + i] = static_cast<std::uint8_t>(text[i % text.size()]);
  for (std::size_t i = 0xE6; i < 0x1E6; ++i)
    flash[i] = static_cast<std::uint8_t>(i * 37 + (i >> 3));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: quenvar-screenshots OUTDIR\n", stderr);
    return 2;
  }
  TApplication app(argc, argv);
  const QString outDir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(outDir);

  // A settings store of its own, starting on the ISP connector.
  QTemporaryDir settings;
  QDir(settings.path()).mkpath(QStringLiteral("Quenvar"));
  QFile ini(settings.path() + QStringLiteral("/Quenvar/Quenvar.ini"));
  if (!ini.open(QIODevice::WriteOnly)) return 1;
  ini.write("[General]\nLast%20Device=14\n");
  ini.close();
  TRegistryEdit edit;
  edit.SetRegKey("\\software\\Quenvar\\");
  edit.SetConfigRoot(settings.path().toStdString());

  TErrorBox box;
  box.SetPresenter([](const QString& text) {
    std::fprintf(stderr, "quenvar-screenshots: %s\n", text.toLocal8Bit().constData());
  });
  TQtEventLoop loop;
  TProgrammerStack stack(loop);
  TStackOptions options;
  options.FSimulate = "isp=ATmega8,timing=none";
  if (const TResult<void> opened = stack.Open(options); !opened) {
    std::fprintf(stderr, "quenvar-screenshots: --simulate: %s\n", opened.Error().FText.c_str());
    return 1;
  }
  FillDemoFlash(*stack.Simulator());
  int status = 0;
  {
    TMainForm form(stack, edit, box);
    TForm1 progress(&form);
    form.SetAuxiliaryWindows(nullptr, &progress, nullptr);
    // A clock that advances by a fixed step per reading, so the duration
    // lines, and with them the pictures, are the same on every run.
    form.Presenter().Driver().FNow = [t = TProgrammerDriver::TClock::time_point{}]() mutable {
      return t += std::chrono::milliseconds(75);
    };
    form.show();

    const struct {
      const char* FName;
      void (TMainFormLogic::*FSwitch)();
    } languages[] = {{"de", &TMainFormLogic::sDeutschClick},
                     {"en", &TMainFormLogic::sEnglishClick},
                     {"ru", &TMainFormLogic::sRusClick}};
    for (const auto& language : languages) {
      (form.Logic().*language.FSwitch)();
      form.Button("bDetectDevice")->click();
      const bool detected = AwaitIdle(form);
      form.Button("bRead")->click();
      if (!detected || !AwaitIdle(form)) {
        std::fprintf(stderr, "quenvar-screenshots: the operation did not end (%s)\n",
                     language.FName);
        status = 1;
      }
      QCoreApplication::processEvents();
      const QString file = outDir + QStringLiteral("/main-") + QLatin1String(language.FName) +
                           QStringLiteral(".png");
      if (!form.grab().save(file)) status = 1;
      std::printf("%s\n", file.toLocal8Bit().constData());
    }
  }
  return status;
}
