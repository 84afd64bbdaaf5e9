#pragma once

// The exit reminder, shown modally when the main window closes.

#include <QDialog>

#include "quenvar/presenter/exit_reminder.h"

class QLabel;
class QPushButton;

namespace quenvar {

class TWarningForm : public QDialog, public TExitReminder {
  Q_OBJECT

 public:
  explicit TWarningForm(QWidget* Parent = nullptr);

  void ShowModal() override;

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* Button1 = nullptr;

 protected:
  void showEvent(QShowEvent* Event) override;
};

}  // namespace quenvar
