#pragma once

// The info window: the program's name, its logo and the supported chips. It
// stays on top and closes on any click on it or when it loses activation.

#include <QWidget>

class QLabel;

namespace quenvar {

// The 41 x 41 logo: a stylised chip.
class TChipLogo : public QWidget {
  Q_OBJECT

 public:
  explicit TChipLogo(QWidget* Parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* Event) override;
};

class TInfoForm : public QWidget {
  Q_OBJECT

 public:
  explicit TInfoForm(QWidget* Parent = nullptr);

  TChipLogo* Image1 = nullptr;
  QLabel* Title = nullptr;
  QLabel* SocketHeading = nullptr;
  QLabel* SocketList = nullptr;
  QLabel* IspHeading = nullptr;
  QLabel* IspList = nullptr;

 protected:
  bool event(QEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
};

}  // namespace quenvar
