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

const QColor Cream(255, 251, 240);
const QColor FrameColour(96, 96, 96);

QString Text(std::string_view Utf8) {
  return QString::fromUtf8(Utf8.data(), static_cast<qsizetype>(Utf8.size()));
}

QLabel* MakeLabel(QWidget* Parent, const char* Name, std::string_view Utf8, const QFont& Font,
                  QPoint Where) {
  auto* label = new QLabel(Text(Utf8), Parent);
  label->setObjectName(QLatin1String(Name));
  label->setFont(Font);
  label->move(Where);
  label->adjustSize();
  return label;
}

}  // namespace

TChipLogo::TChipLogo(QWidget* Parent) : QWidget(Parent) {
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

TInfoForm::TInfoForm(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("InfoForm"));
  setFixedSize(454, 399);
  setFont(UiFont(11));

  Image1 = new TChipLogo(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->move(200, 40);

  QFont title = UiFont(24, true);
  Title = MakeLabel(this, "Title", fixed_text::InfoTitle, title, {64, 104});
  QPalette green = Title->palette();
  green.setColor(QPalette::WindowText, QColor(0, 128, 0));
  Title->setPalette(green);

  QFont heading = UiFont(11, true);
  heading.setUnderline(true);
  SocketHeading =
      MakeLabel(this, "SocketHeading", fixed_text::InfoSocketHeading, heading, {44, 160});
  const std::string socketList =
      std::string(fixed_text::InfoSocketLine1) + "\n" + std::string(fixed_text::InfoSocketLine2);
  SocketList = MakeLabel(this, "SocketList", socketList, UiFont(11), {52, 178});
  IspHeading = MakeLabel(this, "IspHeading", fixed_text::InfoIspHeading, heading, {44, 240});

  IspList = new QLabel(NoBreakAfterSlash(Text(fixed_text::InfoIspList)), this);
  IspList->setObjectName(QStringLiteral("IspList"));
  IspList->setGeometry(52, 272, 349, 89);
  IspList->setWordWrap(true);
  IspList->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
  IspList->setFont(
      UiFont(FitPixelSize(UiFont(11), IspList->text(), QRect(0, 0, 349, 89), flags, 11, 7)));
}

bool TInfoForm::event(QEvent* Event) {
  // Clicking any other window takes the activation away: the window goes.
  if (Event->type() == QEvent::WindowDeactivate && isVisible()) close();
  return QWidget::event(Event);
}

void TInfoForm::mousePressEvent(QMouseEvent* Event) {
  Event->accept();
  close();
}

void TInfoForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), FrameColour);
  painter.fillRect(rect().adjusted(3, 3, -3, -3), Cream);
}

void TInfoForm::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() -
         QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
  }
  activateWindow();
  raise();
}

}  // namespace quenvar
