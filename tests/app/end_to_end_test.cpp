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
bool Await(const std::function<bool()>& Done) {
  QElapsedTimer clock;
  clock.start();
  while (!Done() && clock.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return Done();
}

// The window's settings in a temporary folder, with the ISP connector as the
// target, and an error box that records what it would show.
struct TIspWindowSetup {
  TIspWindowSetup() {
    test::WriteFile(Root.File("Quenvar/Quenvar.ini"), "[General]\nLast%20Device=14\n");
    Edit.SetRegKey("\\software\\Quenvar\\");
    Edit.SetConfigRoot(Root.Path());
    Box.SetPresenter([this](const QString& text) { Errors.push_back(text.toStdString()); });
  }
  // The stack on Qt's loop with the simulated programmer of `simulate`.
  TProgrammerStack& Open(const std::string& simulate) {
    TStackOptions options;
    options.Simulate = simulate;
    const TResult<void> opened = Stack.Open(options);
    EXPECT_TRUE(opened) << opened.Error().FText;
    return Stack;
  }
  test::TTempRoot Root;  // makes the application first
  TRegistryEdit Edit;
  TErrorBox Box;
  std::vector<std::string> Errors;
  TQtEventLoop Loop;
  TProgrammerStack Stack{Loop};
};

TEST(EndToEnd, DetectsTheSimulatedChipThroughTheRealWindow) {
  TIspWindowSetup setup;

  TProgrammerStack& stack = setup.Open("isp=ATmega8,timing=none");
  {
    TMainForm form(stack, setup.Edit, setup.Box);
    ASSERT_TRUE(form.Presenter().Driver().HasProgrammer());
    EXPECT_EQ(form.StatusPanel(0)->text(), QStringLiteral("Программатор к работе готов."));
    std::vector<std::uint8_t> image(300);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    form.HexModel().LoadDataFromBytes(image);
    form.Button("bDetectDevice")->click();
    ASSERT_TRUE(Await([&] {
      return form.Verlauf->toPlainText().contains(QStringLiteral("Successfully finished."));
    })) << form.Verlauf->toPlainText().toStdString();
    const QStringList lines = form.Verlauf->toPlainText().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.front(), QStringLiteral("reading signature byte..."));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[lines.size() - 3], QString());
    EXPECT_EQ(lines[lines.size() - 2], QStringLiteral("Successfully finished."));
    EXPECT_TRUE(lines.back().startsWith(QStringLiteral("Duration: ")));
    EXPECT_TRUE(lines.back().endsWith(QStringLiteral(" s")));
    EXPECT_EQ(form.AutoDevice->text(), QStringLiteral("ATmega8"));
    EXPECT_EQ(form.CodeSize->text(), QStringLiteral("8192"));
    EXPECT_GT(form.FuseList->count(), 0);
    EXPECT_TRUE(setup.Errors.empty());
    QDir().mkpath(QStringLiteral("app_renders"));
    form.grab().save(QStringLiteral("app_renders/main_detected.png"));
  }
}

// main() hands the stack its platform backend; without one only --simulate opens.
TEST(EndToEnd, TheStackOpensTheBackendMainGivesIt) {
  TIspWindowSetup setup;
  {
    TProgrammerStack none(setup.Loop);
    const TResult<void> opened = none.Open({});
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.Error(),
              TError(TErrorKind::Unsupported, "this build has no HID backend; use --simulate"));
  }
  auto backend = std::make_shared<TSimHidBackend>();
  backend->Plug(0x0451, 0x3210, nullptr);
  TStackOptions options;
  options.MakeBackend = [backend] { return backend; };
  ASSERT_TRUE(setup.Stack.Open(options));
  EXPECT_EQ(&setup.Stack.Controller().Backend(), backend.get());
  EXPECT_EQ(setup.Stack.Controller().DeviceList().size(), 1u);
  EXPECT_EQ(setup.Stack.Simulator(), nullptr);
}

// Counts how often the progress window was shown, with its label each time.
class TShowCounter : public QObject {
 public:
  explicit TShowCounter(TForm1& Window) : FWindow(Window) { Window.installEventFilter(this); }
  int Shown = 0;
  QStringList Labels;
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Show) {
      ++Shown;
      Labels << FWindow.Label1->text();
    }
    return QObject::eventFilter(Watched, Event);
  }

 private:
  TForm1& FWindow;
};

TEST(EndToEnd, ProgramsAnOpenedHexFileIntoTheSimulatedChip) {
  TIspWindowSetup setup;
  // 32 bytes 00..1F in two records.
  const std::string hexPath = setup.Root.File("image.hex");
  test::WriteFile(hexPath,
                  ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                  ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
                  ":00000001FF\r\n");

  TProgrammerStack& stack = setup.Open("isp=ATmega8,timing=none");
  ASSERT_NE(stack.Simulator(), nullptr);
  {
    TMainForm form(stack, setup.Edit, setup.Box);
    TForm1 progress(&form);
    TShowCounter shows(progress);
    form.SetAuxiliaryWindows(nullptr, &progress, nullptr);

    form.Logic().AskOpenFileName = [&](const TMainFormLogic::TDialog&) {
      return std::optional<std::string>(hexPath);
    };
    form.Action("nopen")->trigger();
    ASSERT_EQ(form.HexModel().DataLength(), 32);
    EXPECT_EQ(form.StatusPanel(2)->text(), QStringLiteral("32 байт"));
    ASSERT_TRUE(form.Button("bProg")->isEnabled());

    form.Button("bProg")->click();
    EXPECT_FALSE(form.isEnabled()) << "the main window waits behind the progress window";
    ASSERT_TRUE(Await([&] {
      return form.Verlauf->toPlainText().contains(QStringLiteral("Successfully finished."));
    })) << form.Verlauf->toPlainText().toStdString();

    const QStringList lines = form.Verlauf->toPlainText().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.front(), QStringLiteral("reading signature byte..."));
    EXPECT_EQ(lines[lines.size() - 3], QString());
    EXPECT_EQ(lines[lines.size() - 2], QStringLiteral("Successfully finished."));
    EXPECT_TRUE(lines.back().startsWith(QStringLiteral("Duration: ")));
    EXPECT_GE(shows.Shown, 1);
    EXPECT_FALSE(progress.isVisible());
    ASSERT_FALSE(shows.Labels.isEmpty());
    EXPECT_EQ(shows.Labels.front(), QStringLiteral("Выполняется запись FLASH"));
    EXPECT_TRUE(form.isEnabled());
    EXPECT_TRUE(setup.Errors.empty());

    const std::vector<std::uint8_t>& flash = stack.Simulator()->Avr().Flash();
    ASSERT_EQ(flash.size(), 8192u);
    for (std::size_t i = 0; i < flash.size(); ++i) {
      ASSERT_EQ(flash[i], i < 32 ? i : 0xFF) << "flash byte " << i;
    }
  }
}

struct TStateCase {
  const char* Name;
  bool FolderRemoved;  // after the start, so that no save can succeed
};

// The window and the command line take turns on one simulated chip: the
// window saves it after every operation and when it closes.
TEST(EndToEnd, TheWindowSavesTheSimulatedChipsAfterEachOperationAndAtClose) {
  const TStateCase cases[] = {{"Saved", false}, {"FolderRemoved", true}};
  for (const TStateCase& c : cases) {
    TIspWindowSetup setup;
    const std::string state = setup.Root.File("sim/chip.qvs");
    QDir().mkpath(QString::fromStdString(setup.Root.File("sim")));
    const auto saved = [&] { return LoadSimStateFile(state); };

    TProgrammerStack& stack = setup.Open("isp=ATmega8,timing=none,state=" + state);
    if (c.FolderRemoved) QDir(QString::fromStdString(setup.Root.File("sim"))).removeRecursively();
    {
      TMainForm form(stack, setup.Edit, setup.Box);
      KeepSimulatorState(stack, form, setup.Box);
      const std::uint8_t image[] = {0x12, 0x34, 0x56};
      form.HexModel().LoadDataFromBytes(image);
      form.Button("bProg")->click();
      ASSERT_TRUE(Await([&] { return saved().Ok() || !setup.Errors.empty(); })) << c.Name;
      // A change the next operation would not bring: only the close saves it.
      stack.Simulator()->Avr().Flash()[100] = 0x42;
      form.close();
    }
    if (c.FolderRemoved) {
      const std::string message =
          state + ": cannot write simulator state file: No such file or directory";
      EXPECT_EQ(setup.Errors, (std::vector<std::string>{message, message})) << c.Name;
      continue;
    }
    EXPECT_TRUE(setup.Errors.empty()) << c.Name;
    const TResult<TSimState> loaded = saved();
    ASSERT_TRUE(loaded) << loaded.Error().FText;
    const std::vector<std::uint8_t>& flash = loaded->Avr.Flash();
    ASSERT_EQ(flash.size(), 8192u);
    EXPECT_EQ(flash[0], 0x12);
    EXPECT_EQ(flash[2], 0x56);
    EXPECT_EQ(flash[3], 0xFF);
    EXPECT_EQ(flash[100], 0x42);
  }
}

}  // namespace
}  // namespace quenvar
