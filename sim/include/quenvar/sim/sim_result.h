#pragma once
// Errors of the simulator are values, like everywhere below the application.

#include <optional>
#include <string>
#include <utility>

namespace quenvar {

// Success or a readable reason.
struct TSimResult {
  bool Ok = true;
  std::string Error;

  static TSimResult Success() { return {}; }
  static TSimResult Failure(std::string text) { return {false, std::move(text)}; }
  explicit operator bool() const { return Ok; }
};

// A value or a readable reason.
template <typename T>
struct TSimExpected {
  std::optional<T> Value;
  std::string Error;

  static TSimExpected Success(T value) { return {std::move(value), {}}; }
  static TSimExpected Failure(std::string text) { return {std::nullopt, std::move(text)}; }
  explicit operator bool() const { return Value.has_value(); }
};

}  // namespace quenvar
