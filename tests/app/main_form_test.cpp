#include "quenvar/app/main_form.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <cstdio>

#include "main_form_fixture.h"
#include "qt_app.h"
#include "quenvar/app/info_form.h"
#include "quenvar/app/progress_form.h"
#include "quenvar/app/registry_edit.h"
#include "quenvar/presenter/app_settings.h"

namespace quenvar {
namespace {

using test::MainFormTest;
using test::ReadFile;
using test::WriteFile;

TEST_F(MainFormTest, WindowGeometryAndComponents) {
  TMainForm& form = Start();
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Quenvar v 3.0"));
  EXPECT_EQ(form.width(), 873);
  EXPECT_EQ(form.centralWidget()->size(), QSize(873, 607));
  EXPECT_EQ(form.height() - form.menuBar()->height(), 626);
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(form.statusBar()->height(), 19);

  const struct {
    QWidget* FWidget;
    QRect FPlace;
  } places[] = {
      {form.Hexeditor(), {8, 0, 649, 601}},
      {form.FGBDevice, {672, 0, 185, 97}},
      {form.FFuseList, {672, 104, 185, 169}},
      {form.FVerlauf, {672, 288, 185, 137}},
      {form.Button("bProg"), {672, 440, 89, 25}},
      {form.Button("bVerify"), {768, 440, 89, 25}},
      {form.Button("bRead"), {672, 472, 89, 25}},
      {form.Button("bErase"), {768, 472, 89, 25}},
      {form.Button("bDetectDevice"), {672, 504, 89, 25}},
      {form.Button("bWriteFuse"), {768, 504, 89, 25}},
      {form.Button("bprogeeprom"), {672, 536, 185, 25}},
      {form.Button("breadeeprom"), {672, 568, 185, 25}},
      {form.FDevice, {8, 16, 169, 21}},
      {form.FAutoDevice, {72, 40, 105, 21}},
      {form.FCodeSize, {96, 64, 81, 21}},
  };
  for (const auto& p : places) {
    ASSERT_NE(p.FWidget, nullptr);
    EXPECT_EQ(p.FWidget->geometry(), p.FPlace) << p.FWidget->objectName().toStdString();
  }
  EXPECT_EQ(form.FGBDevice->title(), QStringLiteral("Чип:"));
  EXPECT_EQ(form.FLabel1->text(), QStringLiteral("Определен:"));
  EXPECT_EQ(form.FLabel1->pos(), QPoint(8, 42));
  EXPECT_EQ(form.FLabel2->text(), QStringLiteral("Размер (Байт):"));
  EXPECT_EQ(form.FLabel2->pos(), QPoint(8, 66));
  EXPECT_EQ(form.FLabel3->text(), QString());
  EXPECT_LE(form.FLabel1->geometry().right(), 71);
  EXPECT_LE(form.FLabel2->geometry().right(), 95);
  EXPECT_TRUE(form.FVerlauf->isReadOnly());
  EXPECT_TRUE(form.FDevice->isReadOnly());
  EXPECT_TRUE(form.Button("bProg")->font().bold());
  form.show();
  EXPECT_EQ(form.StatusPanel(0)->width(), 500);
  EXPECT_EQ(form.StatusPanel(1)->width(), 150);
  EXPECT_GE(form.StatusPanel(2)->width(), 50);
  form.StatusPanel(2)->setText(QStringLiteral("65536 байт"));
  EXPECT_LE(form.StatusPanel(2)->fontMetrics().horizontalAdvance(form.StatusPanel(2)->text()),
            form.StatusPanel(2)->contentsRect().width());
  QDir().mkpath(QStringLiteral("app_renders"));
  form.grab().save(QStringLiteral("app_renders/main.png"));
}

TEST_F(MainFormTest, MenusInOrderWithShortcutsAndCheckMarks) {
  TMainForm& form = Start();
  QStringList titles;
  for (QAction* action : form.menuBar()->actions()) titles << action->text();
  EXPECT_EQ(titles, (QStringList{"File", "Buffer", "Device", "Chose", "Setup", "Info"}));
  const struct {
    const char* FName;
    const char* FShortcut;
  } shortcuts[] = {{"nopen", "Ctrl+O"}, {"nsave", "Ctrl+S"}, {"nExit", "Ctrl+X"},
                   {"nUndo", "Ctrl+U"}, {"nRedo", "Ctrl+R"}, {"nreadflash", ""}};
  for (const auto& s : shortcuts) {
    EXPECT_EQ(form.Action(s.FName)->shortcut(), QKeySequence(QString::fromUtf8(s.FShortcut)))
        << s.FName;
  }
  for (const char* name :
       {"neditbuffer", "updatebuffer", "nverifyprogramm", "nAVRISP", "N24AA512", "sRus"}) {
    EXPECT_TRUE(form.Action(name)->isCheckable()) << name;
  }
  QStringList eeproms;
  for (QAction* action : form.Menu("nSerialEeprom")->actions()) eeproms << action->text();
  ASSERT_EQ(eeproms.size(), 14);
  EXPECT_EQ(eeproms.front(), QStringLiteral("24AA00 / 24(L)C00"));
  EXPECT_EQ(eeproms.back(), QStringLiteral("24AA512 / 24(L/F)C512"));
  EXPECT_EQ(form.Menu("nsocket")->title(), QStringLiteral("Socket"));
  EXPECT_EQ(form.Menu("nSerialEeprom")->title(), QStringLiteral("serial EEPROM"));
  EXPECT_EQ(form.Menu("nisp")->title(), QStringLiteral("ISP Connector"));
  EXPECT_EQ(form.Action("nAVRISP")->text(), QStringLiteral("AVR (автоопределение)"));
  EXPECT_EQ(form.Menu("Sprache1")->title(), QStringLiteral("Выбор языка"));
  for (const char* name : {"nsave", "nUndo", "nRedo", "nprogflash", "nverifyflash"}) {
    EXPECT_FALSE(form.Action(name)->isEnabled()) << name;
  }
  EXPECT_FALSE(form.Action("neditbuffer")->isChecked());
}

TEST_F(MainFormTest, FirstStartWithoutSettings) {
  TMainForm& form = Start();
  EXPECT_TRUE(FErrors.empty());
  EXPECT_TRUE(form.Action("nverifyprogramm")->isChecked());
  EXPECT_TRUE(form.Action("updatebuffer")->isChecked());
  EXPECT_TRUE(form.Action("sEnglish")->isChecked());
  EXPECT_FALSE(form.Action("sDeutsch")->isChecked());
  EXPECT_EQ(Text("bProg"), "write");
  EXPECT_TRUE(form.Action("N24AA00")->isChecked());
  EXPECT_EQ(form.FDevice->text(), QStringLiteral("24AA00 / 24(L)C00"));
  EXPECT_EQ(form.FCodeSize->text(), QStringLiteral("16"));
  EXPECT_EQ(form.StatusPanel(0)->text(), QStringLiteral("Программатор к работе готов."));
  EXPECT_EQ(Store(),
            "[General]\nLanguage=2\nLast%20Device=0\nUpdate%20buffer%20from%20file=1\n"
            "Verify%20after%20program=1\n");
}

TEST_F(MainFormTest, StoredTargetIsRestored) {
  const struct {
    const char* FStored;
    const char* FChecked;
    const char* FDevice;
  } cases[] = {{"14", "nAVRISP", "AVR ISP (автоопределение)"},
               {"200", "nAVRISP", "AVR ISP (автоопределение)"},
               {"5", "N24C04a", "24C04A"},
               {"256", "N24AA00", "24AA00 / 24(L)C00"}};
  for (const auto& c : cases) {
    WriteFile(FRoot.File("Quenvar/Quenvar.ini"),
              std::string("[General]\nLast%20Device=") + c.FStored + "\n");
    TMainForm& form = Start();
    EXPECT_TRUE(form.Action(c.FChecked)->isChecked()) << c.FStored;
    EXPECT_EQ(form.FDevice->text().toStdString(), c.FDevice) << c.FStored;
  }
}

TEST_F(MainFormTest, WithoutProgrammerTheOperationsAreDisabled) {
  FProgrammer.FPresent = false;
  TMainForm& form = Start();
  for (const char* name : {"bProg", "bVerify", "bRead", "bErase", "bDetectDevice", "bWriteFuse",
                           "bprogeeprom", "breadeeprom"}) {
    EXPECT_FALSE(form.Button(name)->isEnabled()) << name;
  }
  for (const char* menu : {"nFile", "nBuffer", "nDevice", "nChose"}) {
    EXPECT_FALSE(form.Menu(menu)->menuAction()->isEnabled()) << menu;
  }
  // A shortcut of an entry in a disabled menu must not reach it either.
  EXPECT_FALSE(form.Action("nopen")->isEnabled());
  EXPECT_TRUE(form.Menu("nSetup")->menuAction()->isEnabled());
  EXPECT_FALSE(form.FFuseList->isEnabled());
  EXPECT_EQ(form.StatusPanel(0)->text(), QStringLiteral("Программатор не подключен!"));
}

TEST_F(MainFormTest, LanguageSwitchRewritesTheRealWidgets) {
  TMainForm& form = Start();
  Trigger("sRus");
  EXPECT_EQ(Text("bDetectDevice"), "Чип ID");
  EXPECT_EQ(form.Action("nDetectDevice")->text(), QStringLiteral("Определить чип"));
  EXPECT_EQ(form.Menu("nDevice")->title(), QStringLiteral("Чип"));
  EXPECT_TRUE(form.Action("sRus")->isChecked());
  EXPECT_FALSE(form.Action("sEnglish")->isChecked());
  EXPECT_NE(Store().find("Language=3\n"), std::string::npos);
  Trigger("sDeutsch");
  EXPECT_EQ(Text("bDetectDevice"), "Detect Device");
  EXPECT_EQ(form.Menu("nDevice")->title(), QStringLiteral("Device"));
  EXPECT_EQ(form.FGBDevice->title(), QStringLiteral("Чип:"));
  EXPECT_EQ(form.Presenter().LanguageIndexValue(), 0);
}

TEST_F(MainFormTest, ButtonCaptionsFitInEveryLanguage) {
  TMainForm& form = Start();
  for (const char* language : {"sDeutsch", "sEnglish", "sRus"}) {
    Trigger(language);
    for (const char* name : {"bProg", "bVerify", "bRead", "bErase", "bDetectDevice", "bWriteFuse",
                             "bprogeeprom", "breadeeprom"}) {
      const QPushButton* button = form.Button(name);
      EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->width() - 6)
          << language << " " << name;
    }
  }
}

TEST_F(MainFormTest, ByteCountAndEnablingFollowTheBuffer) {
  TMainForm& form = Start();
  const std::uint8_t bytes[] = {1, 2, 3};
  form.HexModel().LoadDataFromBytes(bytes);
  EXPECT_EQ(form.StatusPanel(2)->text(), QStringLiteral("3 байт"));
  for (const char* name : {"nsave", "nprogflash", "nverifyflash"}) {
    EXPECT_TRUE(form.Action(name)->isEnabled()) << name;
  }
  EXPECT_TRUE(form.Button("bProg")->isEnabled());
  EXPECT_TRUE(form.Button("bVerify")->isEnabled());

  Trigger("neditbuffer");
  ASSERT_TRUE(form.HexModel().DeleteBytes(0, 3));
  EXPECT_EQ(form.StatusPanel(2)->text(), QStringLiteral("0 байт"));
  EXPECT_TRUE(form.Action("nsave")->isEnabled());
  EXPECT_TRUE(form.Button("bProg")->isEnabled());
  EXPECT_TRUE(form.Button("bVerify")->isEnabled());
}

TEST_F(MainFormTest, EditingUndoAndRedo) {
  TMainForm& form = Start();
  const std::uint8_t bytes[] = {0x10, 0x20};
  form.HexModel().LoadDataFromBytes(bytes);
  Trigger("neditbuffer");
  EXPECT_TRUE(form.Action("neditbuffer")->isChecked());
  EXPECT_FALSE(form.HexModel().ReadOnlyView());
  EXPECT_TRUE(form.HexModel().InsertMode());
  ASSERT_TRUE(form.HexModel().WriteByte(0, 0x99));
  EXPECT_TRUE(form.Action("nUndo")->isEnabled());

  Trigger("nUndo");
  EXPECT_EQ(form.HexModel().ByteAt(0), 0x10);
  EXPECT_TRUE(form.Action("nRedo")->isEnabled());
  EXPECT_FALSE(form.Action("nUndo")->isEnabled());
  Trigger("nRedo");
  EXPECT_EQ(form.HexModel().ByteAt(0), 0x99);
  EXPECT_TRUE(form.Action("nUndo")->isEnabled());
  EXPECT_FALSE(form.Action("nRedo")->isEnabled());

  // Off: undo and redo go, though an edit could still be undone.
  Trigger("neditbuffer");
  EXPECT_TRUE(form.HexModel().ReadOnlyView());
  EXPECT_FALSE(form.Action("nUndo")->isEnabled());
  EXPECT_FALSE(form.Action("nRedo")->isEnabled());
  // On again: undo waits for the next change.
  Trigger("neditbuffer");
  EXPECT_FALSE(form.Action("nUndo")->isEnabled());
  ASSERT_TRUE(form.HexModel().WriteByte(1, 0x55));
  EXPECT_TRUE(form.Action("nUndo")->isEnabled());
}

TEST_F(MainFormTest, CheckMarksAreStoredAtOnce) {
  TMainForm& form = Start();
  Trigger("nverifyprogramm");
  EXPECT_FALSE(form.Action("nverifyprogramm")->isChecked());
  EXPECT_NE(Store().find("Verify%20after%20program=0\n"), std::string::npos);
  Trigger("updatebuffer");
  EXPECT_NE(Store().find("Update%20buffer%20from%20file=0\n"), std::string::npos);
  TMainForm& next = Start();
  EXPECT_FALSE(next.Action("nverifyprogramm")->isChecked());
  EXPECT_FALSE(next.Action("updatebuffer")->isChecked());
}

TEST_F(MainFormTest, FailedStoreIsShownAndTheWindowGoesOn) {
  Start();
  // The key's folder turns into a file: every write fails from now on.
  QDir(QString::fromStdString(FRoot.File("Quenvar"))).removeRecursively();
  WriteFile(FRoot.File("Quenvar"), "blocked");
  Trigger("nverifyprogramm");
  EXPECT_EQ(FErrors, (std::vector<std::string>{"Failed to set data for 'Verify after program'"}));
  Trigger("sRus");
  EXPECT_EQ(FErrors.back(), "Failed to set data for 'Language'");
  EXPECT_EQ(Text("bProg"), "Запись");
}

TEST_F(MainFormTest, UnwritableStoreAtStartShowsOneErrorAndStartsAllTheSame) {
  WriteFile(FRoot.File("Quenvar"), "blocked");
  TMainForm& form = Start();
  EXPECT_EQ(FErrors, (std::vector<std::string>{"Failed to set data for 'Verify after program'"}));
  EXPECT_TRUE(form.Action("nverifyprogramm")->isChecked());
  EXPECT_TRUE(form.Action("sEnglish")->isChecked());
  EXPECT_EQ(Text("breadeeprom"), "read EEPROM");
  EXPECT_TRUE(form.Action("N24AA00")->isChecked());
  EXPECT_EQ(form.FCodeSize->text(), QStringLiteral("16"));
}

TEST_F(MainFormTest, CloseStoresTheTargetThenShowsTheReminder) {
  TMainForm& form = Start();
  Trigger("N24AA512");
  std::string storedAtReminder;
  FReminder.FOnShow = [&] { storedAtReminder = Store(); };
  QSignalSpy finished(&form, &TMainForm::Finished);
  Trigger("nExit");
  EXPECT_EQ(FReminder.FShown, 1);
  EXPECT_EQ(finished.count(), 1);
  EXPECT_NE(storedAtReminder.find("Last%20Device=13\n"), std::string::npos);

  Start();
  Trigger("nAVRISP");
  FForm->close();
  EXPECT_EQ(FReminder.FShown, 2);
  EXPECT_NE(Store().find("Last%20Device=14\n"), std::string::npos);
}

TEST_F(MainFormTest, OpenDialogGetsTheCurrentLanguagesTextsAndLoadsTheFile) {
  TMainForm& form = Start();
  const std::string file = FRoot.File("image.bin");
  WriteFile(file, std::string("\x01\x02\x03\x04\x05", 5));
  std::vector<std::string> asked;
  form.Logic().FAskOpenFileName = [&](const TMainFormLogic::TDialog& dialog) {
    asked.push_back(dialog.FTitle + " / " + dialog.FFilter);
    return std::optional<std::string>(file);
  };
  Trigger("sRus");
  Trigger("nopen");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0],
            "Открыть файл: / Hex-файл (*.hex)|*.hex|Binary-файл (*.bin)|*.bin|Все файлы "
            "(*.*)|*.*");
  EXPECT_EQ(form.StatusPanel(1)->text(), QStringLiteral("image.bin"));
  EXPECT_EQ(form.StatusPanel(2)->text(), QStringLiteral("5 байт"));
  EXPECT_TRUE(form.Button("bProg")->isEnabled());
}

TEST_F(MainFormTest, ButtonsReachTheDriverAndTheModelDrivesTheProgressWindow) {
  WriteFile(FRoot.File("Quenvar/Quenvar.ini"), "[General]\nLast%20Device=14\n");
  TMainForm& form = Start();
  form.Button("bDetectDevice")->click();
  const auto written = FProgrammer.Written();
  ASSERT_EQ(written.size(), 1u);
  ASSERT_EQ(written[0].size(), 65u);
  EXPECT_EQ(written[0][0], 0x00);
  EXPECT_EQ(written[0][1], 0x05);
  EXPECT_EQ(written[0][2], 0x01);
  EXPECT_EQ(form.FVerlauf->toPlainText(), QStringLiteral("reading signature byte..."));

  TWindowModel& window = form.Presenter().Window();
  window.SetProgressLabel("Выполняется чтение FLASH");
  window.SetGaugeMax(200);
  window.SetGaugePosition(50);
  window.ShowProgress();
  window.SetMainWindowEnabled(false);
  EXPECT_TRUE(FProgress->isVisible());
  EXPECT_EQ(FProgress->FLabel1->text(), QStringLiteral("Выполняется чтение FLASH"));
  EXPECT_EQ(FProgress->FGauge1->PercentDone(), 25);
  EXPECT_FALSE(form.isEnabled());
  window.CloseProgress();
  window.SetMainWindowEnabled(true);
  EXPECT_FALSE(FProgress->isVisible());
  EXPECT_TRUE(form.isEnabled());
}

TEST_F(MainFormTest, FuseListShowsTheModelAndClicksGoThroughIt) {
  WriteFile(FRoot.File("Quenvar/Quenvar.ini"), "[General]\nLast%20Device=14\n");
  TMainForm& form = Start();
  TWindowModel& window = form.Presenter().Window();
  window.SetFuseList({{"CKSEL0", false, true}, {"Lock1", true, false}});
  ASSERT_EQ(form.FFuseList->count(), 2);
  EXPECT_EQ(form.FFuseList->item(0)->text(), QStringLiteral("CKSEL0"));
  EXPECT_EQ(form.FFuseList->item(1)->checkState(), Qt::Checked);
  EXPECT_FALSE(form.FFuseList->item(1)->flags() & Qt::ItemIsEnabled);

  // What a click on the box does to the item: the model decides.
  form.FFuseList->item(0)->setCheckState(Qt::Checked);
  EXPECT_TRUE(window.FuseList()[0].FChecked);
  EXPECT_EQ(form.FFuseList->item(0)->checkState(), Qt::Checked);
  form.FFuseList->item(1)->setCheckState(Qt::Unchecked);
  EXPECT_TRUE(window.FuseList()[1].FChecked);
  EXPECT_EQ(form.FFuseList->item(1)->checkState(), Qt::Checked);
}

TEST_F(MainFormTest, AWriteWhoseFileVanishedOrEmptiedShowsTheErrorAndSendsNothing) {
  TMainForm& form = Start();
  const std::string file = FRoot.File("image.bin");
  form.Logic().FAskOpenFileName = [&](const TMainFormLogic::TDialog&) {
    return std::optional<std::string>(file);
  };
  WriteFile(file, "\x01\x02");
  Trigger("nopen");
  WriteFile(file, "");  // re-read before the write: nothing to write
  form.Button("bProg")->click();
  std::remove(file.c_str());
  form.Button("bVerify")->click();
  EXPECT_EQ(FErrors, (std::vector<std::string>{
                         "The buffer is empty: there is nothing to write or verify.",
                         "Cannot open " + file + ".\r\n(No such file or directory.)"}));
  EXPECT_TRUE(FProgrammer.Written().empty());
  EXPECT_TRUE(form.isEnabled());
}

TEST_F(MainFormTest, PluggingTheProgrammerInLaterIsAnnouncedOnce) {
  FProgrammer.FPresent = false;
  TMainForm& form = Start();
  int claimed = 0;
  form.FOnProgrammerClaimed = [&] { ++claimed; };
  DeviceChange();
  EXPECT_EQ(claimed, 0);
  FProgrammer.PlugIn();
  DeviceChange();
  EXPECT_EQ(claimed, 1);
  DeviceChange();
  EXPECT_EQ(claimed, 1);
  EXPECT_EQ(form.StatusPanel(0)->text(), QStringLiteral("Программатор к работе готов."));
}

TEST_F(MainFormTest, DriverMessagesFollowTheLanguageSwitch) {
  WriteFile(FRoot.File("Quenvar/Quenvar.ini"), "[General]\nLast%20Device=14\n");
  TMainForm& form = Start();
  const struct {
    const char* FRadio;
    const char* FFirstLine;
  } cases[] = {{"sDeutsch", "lese Signature Byte..."},
               {"sRus", "чтение сигнатурных байт..."},
               {"sEnglish", "reading signature byte..."}};
  for (const auto& c : cases) {
    Trigger(c.FRadio);
    // Nothing answers: a device change ends the wait, as after a lost reply.
    form.Button("bDetectDevice")->click();
    EXPECT_EQ(form.FVerlauf->toPlainText().split(QLatin1Char('\n')).front().toStdString(),
              c.FFirstLine);
    form.Presenter().HidCtlDeviceChange();
    form.Presenter().Driver().FinishOperation();
  }
}

TEST_F(MainFormTest, ReminderComesEvenWhenTheTargetCannotBeStored) {
  TMainForm& form = Start();
  QDir(QString::fromStdString(FRoot.File("Quenvar"))).removeRecursively();
  WriteFile(FRoot.File("Quenvar"), "blocked");
  QSignalSpy finished(&form, &TMainForm::Finished);
  form.close();
  EXPECT_EQ(FErrors, (std::vector<std::string>{"Failed to set data for 'Last Device'"}));
  EXPECT_EQ(FReminder.FShown, 1);
  EXPECT_EQ(finished.count(), 1);
}

TEST_F(MainFormTest, InfoEntryShowsTheInfoWindow) {
  Start();
  Trigger("nInfo");
  EXPECT_TRUE(FInfo->isVisible());
  FInfo->close();
}

}  // namespace
}  // namespace quenvar
