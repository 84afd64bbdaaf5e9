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
std::string ErrorText(const std::exception_ptr& error);

class TErrorBox {
 public:
  using TPresenter = std::function<void(const QString& text)>;

  // Parent is the window the box is centred on (may be null).
  explicit TErrorBox(QWidget* parent = nullptr);

  // Replaces the message box, e.g. by a recorder in tests.
  void SetPresenter(TPresenter presenter) { FPresenter = std::move(presenter); }
  void SetParent(QWidget* parent) { FParent = parent; }

  void Show(const std::string& text) const;
  void ShowError(const std::exception_ptr& error) const { Show(ErrorText(error)); }

  // Runs Handler; an error escaping it is shown and swallowed. Returns whether
  // the handler ran to its end.
  template <typename F>
  bool Guard(F&& handler) const noexcept {
    try {
      std::forward<F>(handler)();
      return true;
    } catch (...) {
      ShowSafely(std::current_exception());
      return false;
    }
  }

 private:
  void ShowSafely(const std::exception_ptr& error) const noexcept;

  QWidget* FParent;
  TPresenter FPresenter;
};

}  // namespace quenvar
