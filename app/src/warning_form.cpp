#include "quenvar/app/warning_form.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

#include "quenvar/app/text_fit.h"
#include "quenvar/presenter/language_tables.h"

namespace quenvar {

namespace {

QString Text(std::string_view Utf8) {
  return QString::fromUtf8(Utf8.data(), static_cast<qsizetype>(Utf8.size()));
}

QFont ReminderFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                    QStringLiteral("DejaVu Serif"), QStringLiteral("Serif")});
  font.setPixelSize(21);
  font.setBold(true);
  return font;
}

QLabel* MakeLine(QWidget* Parent, const char* Name, std::string_view Utf8, int Top,
                 const QFont& Font) {
  auto* label = new QLabel(Text(Utf8), Parent);
  label->setObjectName(QLatin1String(Name));
  label->setGeometry(4, Top, 268, 32);
  label->setAlignment(Qt::AlignCenter);
  label->setFont(Font);
  QPalette red = label->palette();
  red.setColor(QPalette::WindowText, QColor(255, 0, 0));
  label->setPalette(red);
  return label;
}

}  // namespace

TWarningForm::TWarningForm(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("WarningForm"));
  setWindowTitle(Text(fixed_text::ExitCaption));
  setFixedSize(276, 136);
  setFont(UiFont(11));
  setModal(true);

  // 21 pixels where the serif font allows it; a wider substitute shrinks
  // until the longer line fits the window.
  QFont font = ReminderFont();
  font.setPixelSize(FitPixelSize(font, Text(fixed_text::ExitLine2), QRect(0, 0, 268, 32),
                                 Qt::AlignCenter, 21, 14));
  Label1 = MakeLine(this, "Label1", fixed_text::ExitLine1, 14, font);
  Label2 = MakeLine(this, "Label2", fixed_text::ExitLine2, 48, font);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(104, 96, 74, 29);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TWarningForm::ShowModal() {
  exec();
}

void TWarningForm::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() -
         QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
  }
}

}  // namespace quenvar
