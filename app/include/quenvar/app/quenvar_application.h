#pragma once

// The Qt application object. Every error that escapes an event handler ends
// in the standard error box, and the program goes on.

#include <QApplication>

#include "quenvar/app/error_box.h"

namespace quenvar {

class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& argc, char** argv);

  TErrorBox& ErrorBox() { return FErrorBox; }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  TErrorBox FErrorBox;
};

}  // namespace quenvar
