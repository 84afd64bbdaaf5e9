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
  explicit TChipLogo(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class TInfoForm : public QWidget {
  Q_OBJECT

 public:
  explicit TInfoForm(QWidget* parent = nullptr);

  TChipLogo* FImage1 = nullptr;
  QLabel* FTitle = nullptr;
  QLabel* FSocketHeading = nullptr;
  QLabel* FSocketList = nullptr;
  QLabel* FIspHeading = nullptr;
  QLabel* FIspList = nullptr;

 protected:
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
};

}  // namespace quenvar
