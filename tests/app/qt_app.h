#pragma once

#include <QTemporaryDir>
#include <string>

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
  std::string File(const char* Relative) const;

 private:
  QTemporaryDir FDir;
};

std::string ReadFile(const std::string& Path);
void WriteFile(const std::string& Path, const std::string& Bytes);

}  // namespace quenvar::test
