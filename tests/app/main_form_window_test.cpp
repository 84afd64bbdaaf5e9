// The main window's behaviour around its dialogs, its close, its radio
// entries and its status bar, with the real Qt widgets.

#include <gtest/gtest.h>

#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <string>

#include "main_form_fixture.h"
#include "quenvar/app/warning_form.h"

namespace quenvar {
namespace {

using test::MainFormTest;
using test::TModalProbe;
using test::WriteFile;

struct TFormatErrorCase {
  const char* Name;
  const char* Content;
  const char* Message;
};

TEST_F(MainFormTest, FormatErrorsShowInAModalErrorBox) {
  Box.SetPresenter(nullptr);
  TMainForm& form = Start();
  const TFormatErrorCase cases[] = {
      {"NoHexFile", "no records here\r\n", "Error in file. No hex file."},
      {"WrongCsum", ":0100000055AB\r\n:00000001FF\r\n", "Error in file. Wrong CSUM."},
  };
  for (const TFormatErrorCase& c : cases) {
    const std::string file = Root.File("broken.hex");
    WriteFile(file, c.Content);
    form.Logic().AskOpenFileName = [&](const TMainFormLogic::TDialog&) {
      return std::optional<std::string>(file);
    };
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    TModalProbe<QMessageBox> probe([&](QMessageBox& box) {
      text = box.text();
      icon = box.icon();
      buttons = box.standardButtons();
      box.button(QMessageBox::Ok)->click();
    });
    Trigger("nopen");
    EXPECT_EQ(probe.Answered, 1) << c.Name;
    EXPECT_EQ(text.toStdString(), c.Message) << c.Name;
    EXPECT_EQ(icon, QMessageBox::Critical) << c.Name;
    EXPECT_EQ(buttons, QMessageBox::Ok) << c.Name;
  }
}

struct TCloseCase {
  const char* Operation;
  Qt::Key Key;
};

TEST_F(MainFormTest, CloseDuringAnOperationWaitsForItsEndThenClosesAsUsual) {
  WriteFile(Root.File("Quenvar/Quenvar.ini"), "[General]\nLast%20Device=14\n");
  // Writing hides the main window behind the progress window; detecting does not.
  const TCloseCase cases[] = {{"bProg", Qt::Key_Return}, {"bDetectDevice", Qt::Key_Escape}};
  for (const TCloseCase& c : cases) {
    TMainForm& form = Start();
    auto* reminder = new TWarningForm(&form);  // the window owns it
    form.SetAuxiliaryWindows(Info.get(), Progress.get(), reminder);
    const std::uint8_t image[] = {1, 2, 3};
    form.HexModel().LoadDataFromBytes(image);
    QSignalSpy finished(&form, &TMainForm::Finished);
    form.show();
    form.Button(c.Operation)->click();
    ASSERT_TRUE(form.OperationRunning()) << c.Operation;

    bool okEnabled = false;
    bool keyClosedIt = false;
    TModalProbe<TWarningForm> probe([&](TWarningForm& shown) {
      okEnabled = shown.Button1->isEnabled();
      QTest::keyClick(&shown, c.Key);
      keyClosedIt = !shown.isVisible();
      if (!keyClosedIt) shown.done(QDialog::Rejected);
    });
    form.close();
    EXPECT_EQ(finished.count(), 0) << c.Operation;
    EXPECT_EQ(probe.Answered, 0) << c.Operation;
    EXPECT_TRUE(Progress->isVisible()) << c.Operation;
    EXPECT_FALSE(form.isEnabled()) << c.Operation;

    // The programmer ends the operation; the close goes on by itself.
    const std::uint8_t failed[64] = {'!'};
    form.Presenter().Driver().HidData(0, failed);
    for (int i = 0; i < 100 && finished.count() == 0; ++i) QTest::qWait(5);
    EXPECT_EQ(finished.count(), 1) << c.Operation;
    EXPECT_EQ(probe.Answered, 1) << c.Operation;
    EXPECT_TRUE(okEnabled) << c.Operation;
    EXPECT_TRUE(keyClosedIt) << c.Operation;
    EXPECT_FALSE(Progress->isVisible()) << c.Operation;
    EXPECT_NE(Store().find("Last%20Device=14\n"), std::string::npos) << c.Operation;
  }
}

TEST_F(MainFormTest, TargetAndLanguageEntriesAreExclusiveRadioGroups) {
  TMainForm& form = Start();
  QActionGroup* targets = form.Action("nAVRISP")->actionGroup();
  QActionGroup* languages = form.Action("sEnglish")->actionGroup();
  ASSERT_NE(targets, nullptr);
  ASSERT_NE(languages, nullptr);
  EXPECT_TRUE(targets->isExclusive());
  EXPECT_TRUE(languages->isExclusive());
  QList<QAction*> targetEntries = form.Menu("nSerialEeprom")->actions();
  targetEntries << form.Action("nAVRISP");
  EXPECT_EQ(targets->actions(), targetEntries);
  EXPECT_EQ(languages->actions(), form.Menu("Sprache1")->actions());

  Trigger("N24AA512");
  EXPECT_EQ(targets->checkedAction(), form.Action("N24AA512"));
  Trigger("sRus");
  EXPECT_EQ(languages->checkedAction(), form.Action("sRus"));
}

struct TPanelCase {
  const char* Name;
  bool Elided;
};

TEST_F(MainFormTest, LongFileNameIsElidedWithTheWholeNameInTheTooltip) {
  TMainForm& form = Start();
  const TPanelCase cases[] = {
      {"image.bin", false},
      {"firmware_for_the_large_board_revision_C_with_bootloader_2024-05-17.bin", true},
  };
  for (const TPanelCase& c : cases) {
    const std::string file = Root.File(c.Name);
    WriteFile(file, "\x01\x02");
    form.Logic().AskOpenFileName = [&](const TMainFormLogic::TDialog&) {
      return std::optional<std::string>(file);
    };
    Trigger("nopen");
    const QLabel* panel = form.StatusPanel(1);
    const QString shown = panel->text();
    EXPECT_EQ(panel->toolTip().toStdString(), c.Name);
    EXPECT_EQ(shown != QString::fromUtf8(c.Name), c.Elided) << c.Name;
    EXPECT_EQ(shown.contains(QChar(0x2026)), c.Elided) << c.Name;
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".bin"))) << c.Name;
    EXPECT_LE(panel->fontMetrics().horizontalAdvance(shown), panel->contentsRect().width())
        << c.Name;
  }
}

TEST_F(MainFormTest, TheDurationsUnitStaysWithItsNumberInTheLog) {
  TMainForm& form = Start();
  form.Presenter().Window().AddLine("Время выполнения : 12.34 s");
  EXPECT_EQ(form.Verlauf->document()->lastBlock().text().toStdString(),
            "Время выполнения : 12.34\u00A0s");
}

// What a file dialog showed when it came up.
struct TDialogSeen {
  QString Directory;
  QStringList Selected;
  QString Filter;
  QString LookIn;
  QString Accept;
  QString Overwrite;
};

TDialogSeen Look(const QFileDialog& Dialog) {
  return {Dialog.directory().absolutePath(),
          Dialog.selectedFiles(),
          Dialog.selectedNameFilter(),
          Dialog.labelText(QFileDialog::LookIn),
          Dialog.labelText(QFileDialog::Accept),
          QFileDialog::tr("%1 already exists.\nDo you want to replace it?")};
}

struct TStartCase {
  const char* Entry;
  const char* Filter;
};

TEST_F(MainFormTest, FileDialogsStartAtTheLastFileWithItsNameFilledIn) {
  TMainForm& form = Start();
  const QString file = QString::fromStdString(Root.File("firmware/image.bin"));
  WriteFile(file.toStdString(), "\x01\x02\x03");
  TModalProbe<QFileDialog> choose([&](QFileDialog& dialog) {
    dialog.selectFile(file);
    static_cast<QDialog&>(dialog).accept();  // what the Open button does
  });
  Trigger("nopen");
  ASSERT_EQ(choose.Answered, 1);
  ASSERT_EQ(form.StatusPanel(1)->text(), QStringLiteral("image.bin"));

  const TStartCase cases[] = {{"nopen", "Binary-files (*.bin)"}, {"nsave", "Bin-files (*.bin)"}};
  for (const TStartCase& c : cases) {
    TDialogSeen seen;
    TModalProbe<QFileDialog> probe([&](QFileDialog& dialog) {
      seen = Look(dialog);
      dialog.reject();
    });
    Trigger(c.Entry);
    ASSERT_EQ(probe.Answered, 1) << c.Entry;
    EXPECT_EQ(seen.Directory.toStdString(), QFileInfo(file).absolutePath().toStdString())
        << c.Entry;
    EXPECT_EQ(seen.Selected.join(QLatin1Char('|')).toStdString(), file.toStdString()) << c.Entry;
    EXPECT_EQ(seen.Filter.toStdString(), c.Filter) << c.Entry;
  }
}

struct TQtTextCase {
  const char* Radio;
  const char* LookIn;
  const char* Accept;
  const char* Overwrite;
};

TEST_F(MainFormTest, QtsOwnDialogTextsFollowTheLanguage) {
  Start();
  const TQtTextCase cases[] = {
      {"sDeutsch", "Suchen in:", "Öffnen",
       "Die Datei %1 existiert bereits.\nSoll sie überschrieben werden?"},
      {"sRus", "Перейти к:", "Открыть", "%1 уже существует.\nЗаменить его?"},
      {"sEnglish", "Look in:", "Open", "%1 already exists.\nDo you want to replace it?"},
  };
  for (const TQtTextCase& c : cases) {
    Trigger(c.Radio);
    TDialogSeen seen;
    TModalProbe<QFileDialog> probe([&](QFileDialog& dialog) {
      seen = Look(dialog);
      test::SaveRender(dialog, std::string("open_") + c.Radio);
      dialog.reject();
    });
    Trigger("nopen");
    ASSERT_EQ(probe.Answered, 1) << c.Radio;
    EXPECT_EQ(seen.LookIn.toStdString(), c.LookIn) << c.Radio;
    EXPECT_EQ(seen.Accept.toStdString(), c.Accept) << c.Radio;
    EXPECT_EQ(seen.Overwrite.toStdString(), c.Overwrite) << c.Radio;
  }
}

}  // namespace
}  // namespace quenvar
