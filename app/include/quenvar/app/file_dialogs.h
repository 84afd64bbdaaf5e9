#pragma once

// The main window's open and save dialogs. Both start in the folder of the
// last file chosen in either of them, with its name filled in and the filter
// that shows it selected, as a user expects when going back to the same file.

#include <QString>
#include <optional>
#include <string>

#include "quenvar/presenter/main_form_logic.h"

class QWidget;

namespace quenvar {

class TFileDialogs {
 public:
  explicit TFileDialogs(QWidget* parent) : FParent(parent) {}

  // Shows the open (Save false) or save dialog with the dialog's title and
  // filter; nothing when the user cancelled.
  std::optional<std::string> Ask(const TMainFormLogic::TDialog& texts, bool save);

 private:
  QWidget* FParent;
  QString FLastFile;
};

}  // namespace quenvar
