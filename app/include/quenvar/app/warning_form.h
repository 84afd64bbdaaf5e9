#pragma once

// The exit reminder, shown modally when the main window closes.

#include <QDialog>

class QLabel;
class QPushButton;

namespace quenvar {

// What the main window needs from the reminder: show it and return once the
// user has dismissed it. Tests put a fake in its place.
class TExitReminder {
 public:
  virtual ~TExitReminder() = default;
  virtual void ShowModal() = 0;
};

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
