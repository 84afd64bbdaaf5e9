#include "quenvar/app/progress_form.h"

#include <QFrame>
#include <QPainter>
#include <QScreen>

#include "quenvar/app/text_fit.h"
#include "quenvar/presenter/language_tables.h"

namespace quenvar {

int GaugePercent(std::int64_t progress, std::int64_t maxValue) {
  if (maxValue <= 0 || progress <= 0) return 0;
  if (progress >= maxValue) return 100;
  return static_cast<int>(progress * 100 / maxValue);
}

TGauge::TGauge(QWidget* parent) : QWidget(parent) {}

void TGauge::SetMaxValue(std::int64_t value) {
  FMaxValue = value;
  update();
}

void TGauge::SetProgress(std::int64_t value) {
  FProgress = value;
  update();
}

void TGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect frame = rect().adjusted(0, 0, -1, -1);
  const QRect inner = rect().adjusted(1, 1, -1, -1);
  const int percent = PercentDone();
  const QRect filled(inner.left(), inner.top(), inner.width() * percent / 100, inner.height());
  const QString text = QString::number(percent) + QLatin1Char('%');

  painter.fillRect(inner, Qt::white);
  painter.fillRect(filled, QColor(0, 0, 255));
  painter.setFont(UiFont(12, true));
  // The figure reads black on the empty part and white on the blue part.
  painter.setClipRect(inner);
  painter.setPen(Qt::black);
  painter.drawText(inner, Qt::AlignCenter, text);
  painter.setClipRect(filled);
  painter.setPen(Qt::white);
  painter.drawText(inner, Qt::AlignCenter, text);
  painter.setClipping(false);
  painter.setPen(Qt::gray);
  painter.drawRect(frame);
}

TForm1::TForm1(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      FMainWindow(mainWindow) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(fixed_text::kProgressCaption.data(),
                                   static_cast<qsizetype>(fixed_text::kProgressCaption.size())));
  setFixedSize(360, 80);
  setFont(UiFont(11));

  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setGeometry(24, 10, 305, 31);
  panel->setAutoFillBackground(true);
  QPalette black = panel->palette();
  black.setColor(QPalette::Window, Qt::black);
  panel->setPalette(black);

  FLabel1 = new QLabel(panel);
  FLabel1->setObjectName(QStringLiteral("Label1"));
  FLabel1->setGeometry(0, 0, 305, 29);
  FLabel1->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  FLabel1->setFont(UiFont(13, true));
  QPalette red = FLabel1->palette();
  red.setColor(QPalette::WindowText, QColor(255, 0, 0));
  red.setColor(QPalette::Disabled, QPalette::WindowText, QColor(255, 0, 0));
  FLabel1->setPalette(red);

  FGauge1 = new TGauge(this);
  FGauge1->setObjectName(QStringLiteral("Gauge1"));
  FGauge1->setGeometry(24, 46, 305, 22);

  // The window only shows progress; the operations alone close it.
  setEnabled(false);
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  QRect around;
  if (FMainWindow) {
    around = FMainWindow->frameGeometry();
  } else if (const QScreen* screen = this->screen()) {
    around = screen->availableGeometry();
  }
  if (around.isValid())
    move(around.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
}

}  // namespace quenvar
