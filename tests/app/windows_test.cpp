#include <gtest/gtest.h>

#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextLayout>
#include <QTimer>

#include "qt_app.h"
#include "quenvar/app/info_form.h"
#include "quenvar/app/progress_form.h"
#include "quenvar/app/text_fit.h"
#include "quenvar/app/warning_form.h"

namespace quenvar {
namespace {

// A label's text must fit inside the label as laid out, never be clipped.
void ExpectUnclipped(const QLabel* label) {
  int flags = static_cast<int>(label->alignment());
  if (label->wordWrap()) flags |= Qt::TextWordWrap;
  const QRect box = label->contentsRect();
  const QRect needed = QFontMetrics(label->font()).boundingRect(box, flags, label->text());
  EXPECT_LE(needed.width(), box.width()) << label->objectName().toStdString();
  EXPECT_LE(needed.height(), box.height()) << label->objectName().toStdString();
  EXPECT_TRUE(label->parentWidget()->rect().contains(label->geometry()))
      << label->objectName().toStdString();
}

struct TPercentCase {
  std::int64_t FProgress;
  std::int64_t FMax;
  int FPercent;
};

TEST(GaugePercent, TruncatesAndStaysWithinBounds) {
  const TPercentCase cases[] = {
      {0, 100, 0},        {1, 3, 33},          {2, 3, 66},    {58, 116, 50},   {99, 100, 99},
      {100, 100, 100},    {150, 100, 100},     {-5, 100, 0},  {5, 0, 0},       {5, -3, 0},
      {65535, 65536, 99}, {65536, 65536, 100}, {1, 65536, 0}, {655, 65536, 0}, {656, 65536, 1},
  };
  for (const TPercentCase& c : cases) {
    EXPECT_EQ(GaugePercent(c.FProgress, c.FMax), c.FPercent) << c.FProgress << "/" << c.FMax;
  }
}

TEST(ProgressForm, LayoutTextsAndNoInput) {
  test::App();
  QWidget main;
  main.setGeometry(100, 100, 873, 626);
  TForm1 form(&main);
  EXPECT_EQ(form.objectName(), "Form1");
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Выполнение операции"));
  EXPECT_EQ(form.size(), QSize(360, 80));
  EXPECT_FALSE(form.isEnabled());
  EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form.FLabel1->parentWidget()->geometry(), QRect(24, 10, 305, 31));
  EXPECT_EQ(form.FLabel1->alignment(), Qt::AlignHCenter | Qt::AlignBottom);
  EXPECT_TRUE(form.FLabel1->font().bold());
  EXPECT_EQ(form.FGauge1->geometry(), QRect(24, 46, 305, 22));
  EXPECT_EQ(form.FGauge1->Progress(), 0);
  EXPECT_EQ(form.FGauge1->PercentDone(), 0);

  for (const char* caption : {"Выполняется запись FLASH", "Выполняется запись EEPROM", "Сравнение",
                              "Выполняется чтение FLASH", "Выполняется чтение EEPROM"}) {
    form.FLabel1->setText(QString::fromUtf8(caption));
    ExpectUnclipped(form.FLabel1);
  }
  form.FLabel1->setText(QStringLiteral("Выполняется запись FLASH"));
  form.FGauge1->SetMaxValue(116);
  form.FGauge1->SetProgress(58);
  EXPECT_EQ(form.FGauge1->PercentDone(), 50);
  form.show();
  // Centred on the main window, give or take the frame's rounding.
  EXPECT_LE((form.frameGeometry().center() - main.frameGeometry().center()).manhattanLength(), 2);
  test::SaveRender(form, "progress");
  form.close();
}

TEST(InfoForm, LayoutAndTexts) {
  test::App();
  TInfoForm form;
  EXPECT_EQ(form.size(), QSize(454, 399));
  EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(form.FImage1->geometry(), QRect(200, 40, 41, 41));
  EXPECT_EQ(form.FTitle->text(), QStringLiteral("Quenvar v 3.0 "));
  EXPECT_EQ(form.FTitle->pos(), QPoint(64, 104));
  EXPECT_EQ(form.FTitle->font().pixelSize(), 24);
  EXPECT_TRUE(form.FTitle->font().bold());
  EXPECT_EQ(form.FTitle->palette().color(QPalette::WindowText), QColor(0, 128, 0));
  EXPECT_EQ(form.FSocketHeading->text(), QStringLiteral("i2c - Socket:"));
  EXPECT_EQ(form.FSocketHeading->pos(), QPoint(44, 160));
  EXPECT_TRUE(form.FSocketHeading->font().underline());
  EXPECT_TRUE(form.FSocketHeading->font().bold());
  EXPECT_EQ(form.FSocketList->text(),
            QStringLiteral("24xx00, 24xx01, 24xx02, 24xx04,24xx08, 24xx16, 24xx32,\n"
                           "24xx64,24xx128, 24xx256, 24xx512"));
  EXPECT_EQ(form.FIspHeading->text(), QStringLiteral("AVR - ISP:"));
  EXPECT_EQ(form.FIspHeading->pos(), QPoint(44, 240));
  EXPECT_EQ(form.FIspList->geometry(), QRect(52, 272, 349, 89));
  EXPECT_TRUE(form.FIspList->wordWrap());
  // Word joiners keep each slashed name on one line; they show as nothing.
  const QString list = form.FIspList->text().remove(QChar(0x2060));
  EXPECT_TRUE(list.startsWith(QStringLiteral("90S1200, 90S2313, 90S/LS2323,")));
  EXPECT_TRUE(list.endsWith(QStringLiteral("ATtiny2313, AT90pwm2, AT90pwm3")));
  for (const QLabel* label :
       {form.FTitle, form.FSocketHeading, form.FSocketList, form.FIspHeading, form.FIspList}) {
    ExpectUnclipped(label);
  }
  form.show();
  test::SaveRender(form, "info");
  form.close();
}

TEST(InfoForm, ClosesOnAnyClickAndOnDeactivation) {
  test::App();
  TInfoForm form;
  const struct {
    const char* FWhere;
    QWidget* FTarget;
    QPoint FAt;
  } clicks[] = {
      {"background", &form, QPoint(300, 30)},       {"frame", &form, QPoint(1, 1)},
      {"title line", form.FTitle, QPoint(5, 5)},    {"logo", form.FImage1, QPoint(20, 20)},
      {"chip list", form.FIspList, QPoint(10, 10)},
  };
  for (const auto& click : clicks) {
    form.show();
    ASSERT_TRUE(form.isVisible());
    QTest::mouseClick(click.FTarget, Qt::LeftButton, Qt::NoModifier, click.FAt);
    EXPECT_FALSE(form.isVisible()) << click.FWhere;
  }
  form.show();
  QEvent deactivate(QEvent::WindowDeactivate);
  QApplication::sendEvent(&form, &deactivate);
  EXPECT_FALSE(form.isVisible());
}

TEST(WarningForm, LayoutAndTexts) {
  test::App();
  TWarningForm form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Завершение работы"));
  EXPECT_EQ(form.size(), QSize(276, 136));
  EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowContextHelpButtonHint);
  EXPECT_EQ(form.FLabel1->text(), QStringLiteral("НЕ ЗАБУДЬТЕ"));
  EXPECT_EQ(form.FLabel2->text(), QStringLiteral("отключить USB разъем  !"));
  for (const QLabel* label : {form.FLabel1, form.FLabel2}) {
    EXPECT_TRUE(label->font().bold());
    EXPECT_LE(label->font().pixelSize(), 21);
    EXPECT_GE(label->font().pixelSize(), 14);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
    ExpectUnclipped(label);
  }
  EXPECT_EQ(form.FButton1->text(), QStringLiteral("OK"));
  EXPECT_EQ(form.FButton1->geometry(), QRect(104, 96, 74, 29));
  form.show();
  test::SaveRender(form, "warning");
  form.close();
}

TEST(WarningForm, ShowModalReturnsOnceOkIsPressed) {
  test::App();
  TWarningForm form;
  IExitReminder& reminder = form;
  bool wasModal = false;
  QTimer::singleShot(0, &form, [&] {
    wasModal = form.isVisible() && form.isModal();
    form.FButton1->click();
  });
  reminder.ShowModal();
  EXPECT_TRUE(wasModal);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
}

// The lines a word-wrapped label makes of Text at Width.
QStringList WrappedLines(const QString& text, const QFont& font, int width) {
  QTextLayout layout(text, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WordWrap);
  layout.setTextOption(option);
  QStringList lines;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    lines << text.mid(line.textStart(), line.textLength()).remove(QChar(0x2060)).trimmed();
  }
  layout.endLayout();
  return lines;
}

// Whatever the font, no width splits a name such as "90S/LS4433" or
// "ATtiny12(L/V)" at its slash.
TEST(InfoForm, ChipNamesNeverBreakAtTheirSlash) {
  test::App();
  TInfoForm form;
  QStringList broken;
  for (int width = 150; width <= form.FIspList->width(); ++width) {
    for (const QString& line : WrappedLines(form.FIspList->text(), form.FIspList->font(), width)) {
      if (line.endsWith(QLatin1Char('/'))) broken << QString::number(width) + ": " + line;
    }
  }
  EXPECT_TRUE(broken.isEmpty()) << broken.join(QLatin1Char('\n')).toStdString();
}

struct TLogLineCase {
  const char* FName;
  const char* FLine;
  const char* FShown;
};

TEST(LogLineText, KeepsAUnitAtTheEndWithItsNumber) {
  test::App();
  const TLogLineCase cases[] = {
      {"German", "Dauer: 0.05 s", "Dauer: 0.05\u00A0s"},
      {"NoNumber", "Status: s", "Status: s"},
      {"Short", " s", " s"},
  };
  for (const TLogLineCase& c : cases) {
    EXPECT_EQ(LogLineText(c.FLine), QString::fromUtf8(c.FShown)) << c.FName;
  }
  // No width of the log leaves the unit on a line of its own.
  const QString duration = LogLineText("Время выполнения : 12.34 s");
  QStringList lonely;
  for (int width = 120; width <= 185; ++width) {
    const QStringList lines = WrappedLines(duration, UiFont(11), width);
    if (lines.back() == QStringLiteral("s")) lonely << QString::number(width);
  }
  EXPECT_TRUE(lonely.isEmpty()) << lonely.join(QLatin1Char(' ')).toStdString();
}

}  // namespace
}  // namespace quenvar
