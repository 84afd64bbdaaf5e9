#include "quenvar/app/warning_form.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

#include "quenvar/app/text_fit.h"
#include "quenvar/presenter/language_tables.h"

namespace quenvar {

namespace {

QString Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QFont ReminderFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                    QStringLiteral("DejaVu Serif"), QStringLiteral("Serif")});
  font.setPixelSize(21);
  font.setBold(true);
  return font;
}

QLabel* MakeLine(QWidget* parent, const char* name, std::string_view utf8, int top,
                 const QFont& font) {
  auto* label = new QLabel(Text(utf8), parent);
  label->setObjectName(QLatin1String(name));
  label->setGeometry(4, top, 268, 32);
  label->setAlignment(Qt::AlignCenter);
  label->setFont(font);
  QPalette red = label->palette();
  red.setColor(QPalette::WindowText, QColor(255, 0, 0));
  label->setPalette(red);
  return label;
}

}  // namespace

TWarningForm::TWarningForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("WarningForm"));
  setWindowTitle(Text(fixed_text::kExitCaption));
  setFixedSize(276, 136);
  setFont(UiFont(11));
  setModal(true);

  // 21 pixels where the serif font allows it; a wider substitute shrinks
  // until the longer line fits the window.
  QFont font = ReminderFont();
  font.setPixelSize(FitPixelSize(font, Text(fixed_text::kExitLine2), QRect(0, 0, 268, 32),
                                 Qt::AlignCenter, 21, 14));
  FLabel1 = MakeLine(this, "Label1", fixed_text::kExitLine1, 14, font);
  FLabel2 = MakeLine(this, "Label2", fixed_text::kExitLine2, 48, font);

  FButton1 = new QPushButton(QStringLiteral("OK"), this);
  FButton1->setObjectName(QStringLiteral("Button1"));
  FButton1->setGeometry(104, 96, 74, 29);
  FButton1->setDefault(true);
  connect(FButton1, &QPushButton::clicked, this, &QDialog::accept);
}

void TWarningForm::ShowModal() {
  exec();
}

void TWarningForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() -
         QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
  }
}

}  // namespace quenvar
