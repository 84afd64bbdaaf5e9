#include "quenvar/app/error_box.h"

#include <QMessageBox>

#include "quenvar/presenter/language_tables.h"

namespace quenvar {

std::string ErrorText(const std::exception_ptr& error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "Unknown error";
  }
}

TErrorBox::TErrorBox(QWidget* parent) : FParent(parent) {}

void TErrorBox::Show(const std::string& text) const {
  const QString shown = QString::fromStdString(text);
  if (FPresenter) {
    FPresenter(shown);
    return;
  }
  const auto title =
      QString::fromUtf8(fixed_text::kApplicationTitle.data(),
                        static_cast<qsizetype>(fixed_text::kApplicationTitle.size()));
  QMessageBox box(QMessageBox::Critical, title, shown, QMessageBox::Ok, FParent);
  box.exec();
}

void TErrorBox::ShowSafely(const std::exception_ptr& error) const noexcept {
  try {
    ShowError(error);
  } catch (...) {
    // Showing the error failed too (e.g. out of memory): the step stays
    // abandoned and the program goes on.
  }
}

}  // namespace quenvar
