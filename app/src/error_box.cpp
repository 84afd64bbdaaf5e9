#include "quenvar/app/error_box.h"

#include <QMessageBox>

#include "quenvar/presenter/language_tables.h"

namespace quenvar {

std::string ErrorText(const std::exception_ptr& Error) {
  if (!Error) return {};
  try {
    std::rethrow_exception(Error);
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "Unknown error";
  }
}

TErrorBox::TErrorBox(QWidget* Parent) : FParent(Parent) {}

void TErrorBox::Show(const std::string& Text) const {
  const QString text = QString::fromStdString(Text);
  if (FPresenter) {
    FPresenter(text);
    return;
  }
  const auto title = QString::fromUtf8(fixed_text::ApplicationTitle.data(),
                                       static_cast<qsizetype>(fixed_text::ApplicationTitle.size()));
  QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, FParent);
  box.exec();
}

void TErrorBox::ShowSafely(const std::exception_ptr& Error) const noexcept {
  try {
    ShowError(Error);
  } catch (...) {
    // Showing the error failed too (e.g. out of memory): the step stays
    // abandoned and the program goes on.
  }
}

}  // namespace quenvar
