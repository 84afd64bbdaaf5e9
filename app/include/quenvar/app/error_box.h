#pragma once

// The application's standard error box: a failed step shows the error's text
// in a message box and the program goes on. Handlers run through Guard(), so
// no exception ever crosses the Qt event loop.

#include <QString>
#include <exception>
#include <functional>
#include <string>
#include <utility>

class QWidget;

namespace quenvar {

// The text an escaped error shows: what() of a standard exception.
std::string ErrorText(const std::exception_ptr& Error);

class TErrorBox {
 public:
  using TPresenter = std::function<void(const QString& Text)>;

  // Parent is the window the box is centred on (may be null).
  explicit TErrorBox(QWidget* Parent = nullptr);

  // Replaces the message box, e.g. by a recorder in tests.
  void SetPresenter(TPresenter Presenter) { FPresenter = std::move(Presenter); }
  void SetParent(QWidget* Parent) { FParent = Parent; }

  void Show(const std::string& Text) const;
  void ShowError(const std::exception_ptr& Error) const { Show(ErrorText(Error)); }

  // Runs Handler; an error escaping it is shown and swallowed. Returns whether
  // the handler ran to its end.
  template <typename F>
  bool Guard(F&& Handler) const noexcept {
    try {
      std::forward<F>(Handler)();
      return true;
    } catch (...) {
      ShowSafely(std::current_exception());
      return false;
    }
  }

 private:
  void ShowSafely(const std::exception_ptr& Error) const noexcept;

  QWidget* FParent;
  TPresenter FPresenter;
};

}  // namespace quenvar
