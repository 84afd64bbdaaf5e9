#include "quenvar/app/info_form.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include "quenvar/app/text_fit.h"
#include "quenvar/presenter/language_tables.h"

namespace quenvar {

namespace {

const QColor kCream(255, 251, 240);
const QColor kFrameColour(96, 96, 96);

QString Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QLabel* MakeLabel(QWidget* parent, const char* name, std::string_view utf8, const QFont& font,
                  QPoint where) {
  auto* label = new QLabel(Text(utf8), parent);
  label->setObjectName(QLatin1String(name));
  label->setFont(font);
  label->move(where);
  label->adjustSize();
  return label;
}

}  // namespace

TChipLogo::TChipLogo(QWidget* parent) : QWidget(parent) {
  setFixedSize(41, 41);
}

void TChipLogo::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  // Four pins on each side of a dark package with a notch and a pin-1 dot.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(176, 176, 176));
  for (int i = 0; i < 4; ++i) {
    const int offset = 9 + i * 7;
    painter.drawRect(QRectF(offset, 1, 3, 6));
    painter.drawRect(QRectF(offset, 34, 3, 6));
    painter.drawRect(QRectF(1, offset, 6, 3));
    painter.drawRect(QRectF(34, offset, 6, 3));
  }
  painter.setBrush(QColor(40, 40, 48));
  painter.drawRoundedRect(QRectF(6, 6, 29, 29), 3, 3);
  painter.setBrush(QColor(0, 128, 0));
  painter.drawEllipse(QRectF(10, 10, 5, 5));
  painter.setPen(QPen(QColor(230, 230, 230), 1.5));
  painter.setBrush(Qt::NoBrush);
  QPainterPath trace;
  trace.moveTo(14, 27);
  trace.lineTo(20.5, 17);
  trace.lineTo(27, 27);
  painter.drawPath(trace);
}

TInfoForm::TInfoForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("InfoForm"));
  setFixedSize(454, 399);
  setFont(UiFont(11));

  FImage1 = new TChipLogo(this);
  FImage1->setObjectName(QStringLiteral("Image1"));
  FImage1->move(200, 40);

  QFont title = UiFont(24, true);
  FTitle = MakeLabel(this, "Title", fixed_text::kInfoTitle, title, {64, 104});
  QPalette green = FTitle->palette();
  green.setColor(QPalette::WindowText, QColor(0, 128, 0));
  FTitle->setPalette(green);

  QFont heading = UiFont(11, true);
  heading.setUnderline(true);
  FSocketHeading =
      MakeLabel(this, "SocketHeading", fixed_text::kInfoSocketHeading, heading, {44, 160});
  const std::string socketList =
      std::string(fixed_text::kInfoSocketLine1) + "\n" + std::string(fixed_text::kInfoSocketLine2);
  FSocketList = MakeLabel(this, "SocketList", socketList, UiFont(11), {52, 178});
  FIspHeading = MakeLabel(this, "IspHeading", fixed_text::kInfoIspHeading, heading, {44, 240});

  FIspList = new QLabel(NoBreakAfterSlash(Text(fixed_text::kInfoIspList)), this);
  FIspList->setObjectName(QStringLiteral("IspList"));
  FIspList->setGeometry(52, 272, 349, 89);
  FIspList->setWordWrap(true);
  FIspList->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
  FIspList->setFont(
      UiFont(FitPixelSize(UiFont(11), FIspList->text(), QRect(0, 0, 349, 89), flags, 11, 7)));
}

bool TInfoForm::event(QEvent* event) {
  // Clicking any other window takes the activation away: the window goes.
  if (event->type() == QEvent::WindowDeactivate && isVisible()) close();
  return QWidget::event(event);
}

void TInfoForm::mousePressEvent(QMouseEvent* event) {
  event->accept();
  close();
}

void TInfoForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kFrameColour);
  painter.fillRect(rect().adjusted(3, 3, -3, -3), kCream);
}

void TInfoForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() -
         QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
  }
  activateWindow();
  raise();
}

}  // namespace quenvar
