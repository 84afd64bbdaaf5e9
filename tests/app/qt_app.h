#pragma once

#include <QTemporaryDir>
#include <string>

class QWidget;

#include "quenvar/app/quenvar_application.h"

namespace quenvar::test {

// The one application object of the test program, created on first use with
// the offscreen platform.
TApplication& App();

// A fresh temporary folder to hold a settings store.
class TTempRoot {
 public:
  TTempRoot();
  std::string Path() const { return FDir.path().toStdString(); }
  std::string File(const char* relative) const;

 private:
  QTemporaryDir FDir;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Writes the widget's picture to app_renders/NAME.png next to the test binary,
// for a look by eye.
void SaveRender(QWidget& widget, const std::string& name);

}  // namespace quenvar::test
