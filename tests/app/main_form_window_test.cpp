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
  const char* FName;
  const char* FContent;
  const char* FMessage;
};

TEST_F(MainFormTest, FormatErrorsShowInAModalErrorBox) {
  FBox.SetPresenter(nullptr);
  TMainForm& form = Start();
  const TFormatErrorCase cases[] = {
      {"NoHexFile", "no records here\r\n", "Error in file. No hex file."},
      {"WrongCsum", ":0100000055AB\r\n:00000001FF\r\n", "Error in file. Wrong CSUM."},
  };
  for (const TFormatErrorCase& c : cases) {
    const std::string file = FRoot.File("broken.hex");
    WriteFile(file, c.FContent);
    form.Logic().FAskOpenFileName = [&](const TMainFormLogic::TDialog&) {
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
    EXPECT_EQ(probe.FAnswered, 1) << c.FName;
    EXPECT_EQ(text.toStdString(), c.FMessage) << c.FName;
    EXPECT_EQ(icon, QMessageBox::Critical) << c.FName;
    EXPECT_EQ(buttons, QMessageBox::Ok) << c.FName;
  }
}

struct TCloseCase {
  const char* FOperation;
  Qt::Key FKey;
};

TEST_F(MainFormTest, CloseDuringAnOperationWaitsForItsEndThenClosesAsUsual) {
  WriteFile(FRoot.File("Quenvar/Quenvar.ini"), "[General]\nLast%20Device=14\n");
  // Writing hides the main window behind the progress window; detecting does not.
  const TCloseCase cases[] = {{"bProg", Qt::Key_Return}, {"bDetectDevice", Qt::Key_Escape}};
  for (const TCloseCase& c : cases) {
    TMainForm& form = Start();
    auto* reminder = new TWarningForm(&form);  // the window owns it
    form.SetAuxiliaryWindows(FInfo.get(), FProgress.get(), reminder);
    const std::uint8_t image[] = {1, 2, 3};
    form.HexModel().LoadDataFromBytes(image);
    QSignalSpy finished(&form, &TMainForm::Finished);
    form.show();
    form.Button(c.FOperation)->click();
    ASSERT_TRUE(form.OperationRunning()) << c.FOperation;

    bool okEnabled = false;
    bool keyClosedIt = false;
    TModalProbe<TWarningForm> probe([&](TWarningForm& shown) {
      okEnabled = shown.FButton1->isEnabled();
      QTest::keyClick(&shown, c.FKey);
      keyClosedIt = !shown.isVisible();
      if (!keyClosedIt) shown.done(QDialog::Rejected);
    });
    form.close();
    EXPECT_EQ(finished.count(), 0) << c.FOperation;
    EXPECT_EQ(probe.FAnswered, 0) << c.FOperation;
    EXPECT_TRUE(FProgress->isVisible()) << c.FOperation;
    EXPECT_FALSE(form.isEnabled()) << c.FOperation;

    // The programmer ends the operation; the close goes on by itself.
    const std::uint8_t failed[64] = {'!'};
    form.Presenter().Driver().HidData(0, failed);
    for (int i = 0; i < 100 && finished.count() == 0; ++i) QTest::qWait(5);
    EXPECT_EQ(finished.count(), 1) << c.FOperation;
    EXPECT_EQ(probe.FAnswered, 1) << c.FOperation;
    EXPECT_TRUE(okEnabled) << c.FOperation;
    EXPECT_TRUE(keyClosedIt) << c.FOperation;
    EXPECT_FALSE(FProgress->isVisible()) << c.FOperation;
    EXPECT_NE(Store().find("Last%20Device=14\n"), std::string::npos) << c.FOperation;
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
  const char* FName;
  bool FElided;
};

TEST_F(MainFormTest, LongFileNameIsElidedWithTheWholeNameInTheTooltip) {
  TMainForm& form = Start();
  const TPanelCase cases[] = {
      {"image.bin", false},
      {"firmware_for_the_large_board_revision_C_with_bootloader_2024-05-17.bin", true},
  };
  for (const TPanelCase& c : cases) {
    const std::string file = FRoot.File(c.FName);
    WriteFile(file, "\x01\x02");
    form.Logic().FAskOpenFileName = [&](const TMainFormLogic::TDialog&) {
      return std::optional<std::string>(file);
    };
    Trigger("nopen");
    const QLabel* panel = form.StatusPanel(1);
    const QString shown = panel->text();
    EXPECT_EQ(panel->toolTip().toStdString(), c.FName);
    EXPECT_EQ(shown != QString::fromUtf8(c.FName), c.FElided) << c.FName;
    EXPECT_EQ(shown.contains(QChar(0x2026)), c.FElided) << c.FName;
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".bin"))) << c.FName;
    EXPECT_LE(panel->fontMetrics().horizontalAdvance(shown), panel->contentsRect().width())
        << c.FName;
  }
}

TEST_F(MainFormTest, TheDurationsUnitStaysWithItsNumberInTheLog) {
  TMainForm& form = Start();
  form.Presenter().Window().AddLine("Время выполнения : 12.34 s");
  EXPECT_EQ(form.FVerlauf->document()->lastBlock().text().toStdString(),
            "Время выполнения : 12.34\u00A0s");
}

// What a file dialog showed when it came up.
struct TDialogSeen {
  QString FDirectory;
  QStringList FSelected;
  QString FFilter;
  QString FLookIn;
  QString FAccept;
  QString FOverwrite;
};

TDialogSeen Look(const QFileDialog& dialog) {
  return {dialog.directory().absolutePath(),
          dialog.selectedFiles(),
          dialog.selectedNameFilter(),
          dialog.labelText(QFileDialog::LookIn),
          dialog.labelText(QFileDialog::Accept),
          QFileDialog::tr("%1 already exists.\nDo you want to replace it?")};
}

struct TStartCase {
  const char* FEntry;
  const char* FFilter;
};

TEST_F(MainFormTest, FileDialogsStartAtTheLastFileWithItsNameFilledIn) {
  TMainForm& form = Start();
  const QString file = QString::fromStdString(FRoot.File("firmware/image.bin"));
  WriteFile(file.toStdString(), "\x01\x02\x03");
  TModalProbe<QFileDialog> choose([&](QFileDialog& dialog) {
    dialog.selectFile(file);
    static_cast<QDialog&>(dialog).accept();  // what the Open button does
  });
  Trigger("nopen");
  ASSERT_EQ(choose.FAnswered, 1);
  ASSERT_EQ(form.StatusPanel(1)->text(), QStringLiteral("image.bin"));

  const TStartCase cases[] = {{"nopen", "Binary-files (*.bin)"}, {"nsave", "Bin-files (*.bin)"}};
  for (const TStartCase& c : cases) {
    TDialogSeen seen;
    TModalProbe<QFileDialog> probe([&](QFileDialog& dialog) {
      seen = Look(dialog);
      dialog.reject();
    });
    Trigger(c.FEntry);
    ASSERT_EQ(probe.FAnswered, 1) << c.FEntry;
    EXPECT_EQ(seen.FDirectory.toStdString(), QFileInfo(file).absolutePath().toStdString())
        << c.FEntry;
    EXPECT_EQ(seen.FSelected.join(QLatin1Char('|')).toStdString(), file.toStdString()) << c.FEntry;
    EXPECT_EQ(seen.FFilter.toStdString(), c.FFilter) << c.FEntry;
  }
}

struct TQtTextCase {
  const char* FRadio;
  const char* FLookIn;
  const char* FAccept;
  const char* FOverwrite;
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
    Trigger(c.FRadio);
    TDialogSeen seen;
    TModalProbe<QFileDialog> probe([&](QFileDialog& dialog) {
      seen = Look(dialog);
      test::SaveRender(dialog, std::string("open_") + c.FRadio);
      dialog.reject();
    });
    Trigger("nopen");
    ASSERT_EQ(probe.FAnswered, 1) << c.FRadio;
    EXPECT_EQ(seen.FLookIn.toStdString(), c.FLookIn) << c.FRadio;
    EXPECT_EQ(seen.FAccept.toStdString(), c.FAccept) << c.FRadio;
    EXPECT_EQ(seen.FOverwrite.toStdString(), c.FOverwrite) << c.FRadio;
  }
}

}  // namespace
}  // namespace quenvar
