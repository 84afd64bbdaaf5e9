// The whole application path with the simulated programmer: the stack on Qt's
// event loop, the driver, and the main window's real widgets.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "qt_app.h"
#include "quenvar/app/main_form.h"
#include "quenvar/app/progress_form.h"
#include "quenvar/app/qt_event_loop.h"
#include "quenvar/app/registry_edit.h"
#include "quenvar/app/simulator_state.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/sim/sim_programmer.h"
#include "quenvar/sim/sim_state_file.h"
#include "quenvar/stack/programmer_stack.h"

namespace quenvar {
namespace {

// Runs the event loop until Done holds or two seconds have passed.
bool Await(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

// The window's settings in a temporary folder, with the ISP connector as the
// target, and an error box that records what it would show.
struct TIspWindowSetup {
  TIspWindowSetup() {
    test::WriteFile(FRoot.File("Quenvar/Quenvar.ini"), "[General]\nLast%20Device=14\n");
    FEdit.SetRegKey("\\software\\Quenvar\\");
    FEdit.SetConfigRoot(FRoot.Path());
    FBox.SetPresenter([this](const QString& text) { FErrors.push_back(text.toStdString()); });
  }
  // The stack on Qt's loop with the simulated programmer of `simulate`.
  TProgrammerStack& Open(const std::string& simulate) {
    TStackOptions options;
    options.FSimulate = simulate;
    const TResult<void> opened = FStack.Open(options);
    EXPECT_TRUE(opened) << opened.Error().FText;
    return FStack;
  }
  test::TTempRoot FRoot;  // makes the application first
  TRegistryEdit FEdit;
  TErrorBox FBox;
  std::vector<std::string> FErrors;
  TQtEventLoop FLoop;
  TProgrammerStack FStack{FLoop};
};

TEST(EndToEnd, DetectsTheSimulatedChipThroughTheRealWindow) {
  TIspWindowSetup setup;

  TProgrammerStack& stack = setup.Open("isp=ATmega8,timing=none");
  {
    TMainForm form(stack, setup.FEdit, setup.FBox);
    ASSERT_TRUE(form.Presenter().Driver().HasProgrammer());
    EXPECT_EQ(form.StatusPanel(0)->text(), QStringLiteral("Программатор к работе готов."));
    std::vector<std::uint8_t> image(300);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    form.HexModel().LoadDataFromBytes(image);
    form.Button("bDetectDevice")->click();
    ASSERT_TRUE(Await([&] {
      return form.FVerlauf->toPlainText().contains(QStringLiteral("Successfully finished."));
    })) << form.FVerlauf->toPlainText().toStdString();
    const QStringList lines = form.FVerlauf->toPlainText().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.front(), QStringLiteral("reading signature byte..."));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[lines.size() - 3], QString());
    EXPECT_EQ(lines[lines.size() - 2], QStringLiteral("Successfully finished."));
    EXPECT_TRUE(lines.back().startsWith(QStringLiteral("Duration: ")));
    EXPECT_TRUE(lines.back().endsWith(QStringLiteral(" s")));
    EXPECT_EQ(form.FAutoDevice->text(), QStringLiteral("ATmega8"));
    EXPECT_EQ(form.FCodeSize->text(), QStringLiteral("8192"));
    EXPECT_GT(form.FFuseList->count(), 0);
    EXPECT_TRUE(setup.FErrors.empty());
    QDir().mkpath(QStringLiteral("app_renders"));
    form.grab().save(QStringLiteral("app_renders/main_detected.png"));
  }
}

// main() hands the stack its platform backend; without one only --simulate opens.
TEST(EndToEnd, TheStackOpensTheBackendMainGivesIt) {
  TIspWindowSetup setup;
  {
    TProgrammerStack none(setup.FLoop);
    const TResult<void> opened = none.Open({});
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.Error(),
              TError(TErrorKind::Unsupported, "this build has no HID backend; use --simulate"));
  }
  auto backend = std::make_shared<TSimHidBackend>();
  backend->Plug(0x0451, 0x3210, nullptr);
  TStackOptions options;
  options.FMakeBackend = [backend] { return backend; };
  ASSERT_TRUE(setup.FStack.Open(options));
  EXPECT_EQ(&setup.FStack.Controller().Backend(), backend.get());
  EXPECT_EQ(setup.FStack.Controller().DeviceList().size(), 1u);
  EXPECT_EQ(setup.FStack.Simulator(), nullptr);
}

// Counts how often the progress window was shown, with its label each time.
class TShowCounter : public QObject {
 public:
  explicit TShowCounter(TForm1& window) : FWindow(window) { window.installEventFilter(this); }
  int FShown = 0;
  QStringList FLabels;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      ++FShown;
      FLabels << FWindow.FLabel1->text();
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  TForm1& FWindow;
};

TEST(EndToEnd, ProgramsAnOpenedHexFileIntoTheSimulatedChip) {
  TIspWindowSetup setup;
  // 32 bytes 00..1F in two records.
  const std::string hexPath = setup.FRoot.File("image.hex");
  test::WriteFile(hexPath,
                  ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                  ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
                  ":00000001FF\r\n");

  TProgrammerStack& stack = setup.Open("isp=ATmega8,timing=none");
  ASSERT_NE(stack.Simulator(), nullptr);
  {
    TMainForm form(stack, setup.FEdit, setup.FBox);
    TForm1 progress(&form);
    TShowCounter shows(progress);
    form.SetAuxiliaryWindows(nullptr, &progress, nullptr);

    form.Logic().FAskOpenFileName = [&](const TMainFormLogic::TDialog&) {
      return std::optional<std::string>(hexPath);
    };
    form.Action("nopen")->trigger();
    ASSERT_EQ(form.HexModel().DataLength(), 32);
    EXPECT_EQ(form.StatusPanel(2)->text(), QStringLiteral("32 байт"));
    ASSERT_TRUE(form.Button("bProg")->isEnabled());

    form.Button("bProg")->click();
    EXPECT_FALSE(form.isEnabled()) << "the main window waits behind the progress window";
    ASSERT_TRUE(Await([&] {
      return form.FVerlauf->toPlainText().contains(QStringLiteral("Successfully finished."));
    })) << form.FVerlauf->toPlainText().toStdString();

    const QStringList lines = form.FVerlauf->toPlainText().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.front(), QStringLiteral("reading signature byte..."));
    EXPECT_EQ(lines[lines.size() - 3], QString());
    EXPECT_EQ(lines[lines.size() - 2], QStringLiteral("Successfully finished."));
    EXPECT_TRUE(lines.back().startsWith(QStringLiteral("Duration: ")));
    EXPECT_GE(shows.FShown, 1);
    EXPECT_FALSE(progress.isVisible());
    ASSERT_FALSE(shows.FLabels.isEmpty());
    EXPECT_EQ(shows.FLabels.front(), QStringLiteral("Выполняется запись FLASH"));
    EXPECT_TRUE(form.isEnabled());
    EXPECT_TRUE(setup.FErrors.empty());

    const std::vector<std::uint8_t>& flash = stack.Simulator()->Avr().Flash();
    ASSERT_EQ(flash.size(), 8192u);
    for (std::size_t i = 0; i < flash.size(); ++i) {
      ASSERT_EQ(flash[i], i < 32 ? i : 0xFF) << "flash byte " << i;
    }
  }
}

struct TStateCase {
  const char* FName;
  bool FFolderRemoved;  // after the start, so that no save can succeed
};

// The window and the command line take turns on one simulated chip: the
// window saves it after every operation and when it closes.
TEST(EndToEnd, TheWindowSavesTheSimulatedChipsAfterEachOperationAndAtClose) {
  const TStateCase cases[] = {{"Saved", false}, {"FolderRemoved", true}};
  for (const TStateCase& c : cases) {
    TIspWindowSetup setup;
    const std::string state = setup.FRoot.File("sim/chip.qvs");
    QDir().mkpath(QString::fromStdString(setup.FRoot.File("sim")));
    const auto saved = [&] { return LoadSimStateFile(state); };

    TProgrammerStack& stack = setup.Open("isp=ATmega8,timing=none,state=" + state);
    if (c.FFolderRemoved) QDir(QString::fromStdString(setup.FRoot.File("sim"))).removeRecursively();
    {
      TMainForm form(stack, setup.FEdit, setup.FBox);
      KeepSimulatorState(stack, form, setup.FBox);
      const std::uint8_t image[] = {0x12, 0x34, 0x56};
      form.HexModel().LoadDataFromBytes(image);
      form.Button("bProg")->click();
      ASSERT_TRUE(Await([&] { return saved().Ok() || !setup.FErrors.empty(); })) << c.FName;
      // A change the next operation would not bring: only the close saves it.
      stack.Simulator()->Avr().Flash()[100] = 0x42;
      form.close();
    }
    if (c.FFolderRemoved) {
      const std::string message =
          state + ": cannot write simulator state file: No such file or directory";
      EXPECT_EQ(setup.FErrors, (std::vector<std::string>{message, message})) << c.FName;
      continue;
    }
    EXPECT_TRUE(setup.FErrors.empty()) << c.FName;
    const TResult<TSimState> loaded = saved();
    ASSERT_TRUE(loaded) << loaded.Error().FText;
    const std::vector<std::uint8_t>& flash = loaded->FAvr.Flash();
    ASSERT_EQ(flash.size(), 8192u);
    EXPECT_EQ(flash[0], 0x12);
    EXPECT_EQ(flash[2], 0x56);
    EXPECT_EQ(flash[3], 0xFF);
    EXPECT_EQ(flash[100], 0x42);
  }
}

}  // namespace
}  // namespace quenvar
