#pragma once

// The exit reminder, shown modally when the main window closes.

#include <QDialog>

#include "quenvar/presenter/exit_reminder.h"

class QLabel;
class QPushButton;

namespace quenvar {

class TWarningForm : public QDialog, public IExitReminder {
  Q_OBJECT

 public:
  explicit TWarningForm(QWidget* parent = nullptr);

  void ShowModal() override;

  QLabel* FLabel1 = nullptr;
  QLabel* FLabel2 = nullptr;
  QPushButton* FButton1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace quenvar
