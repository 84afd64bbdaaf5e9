#pragma once
// Errors of the HID link are values: a platform error code (errno style) plus
// the fixed English text the link reports.

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace quenvar {

struct THidError {
  int Code = 0;      // errno-style platform code, 0 when the failure has none
  std::string Text;  // fixed English text

  bool operator==(const THidError&) const = default;
};

template <class T>
class THidResult {
 public:
  THidResult(T value) : State(std::move(value)) {}          // NOLINT: implicit success
  THidResult(THidError error) : State(std::move(error)) {}  // NOLINT: implicit failure

  bool HasValue() const { return State.index() == 0; }
  explicit operator bool() const { return HasValue(); }

  T& Value() { return std::get<0>(State); }
  const T& Value() const { return std::get<0>(State); }
  T& operator*() { return Value(); }
  const T& operator*() const { return Value(); }
  T* operator->() { return &Value(); }
  const T* operator->() const { return &Value(); }

  const THidError& Error() const { return std::get<1>(State); }

 private:
  std::variant<T, THidError> State;
};

// For operations that give nothing back on success.
struct THidOk {};

}  // namespace quenvar
