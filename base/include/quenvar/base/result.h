#pragma once
// Errors are values everywhere below the application: a function that can fail
// returns TResult<T>, the value or a TError that says what went wrong.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace quenvar {

enum class TErrorKind : std::uint8_t {
  // A file step: FPath names the file as the caller did, FCode is the errno (on
  // Windows the system's error code; 0 when the reason is the program's own,
  // such as "Not a regular file").
  Open,    // opening an existing file (or creating a file that is then kept)
  Create,  // creating or renaming the temporary file of a save
  Read,
  Write,  // writing, syncing or closing the temporary file
  Lock,
  BadContent,  // a file that holds something else than it must
  // An Intel HEX text that is refused; FLine is its first failing line.
  NoHexFile,      // the structure check failed
  ImageTooLarge,  // the records reach beyond the largest image read
  WrongChecksum,  // a line's checksum does not match
  BrokenData,     // a checksummed field is not hex, or a line is shorter than its count
  BadOption,      // an option's text that does not parse
  Device,         // the HID link or the system's device calls; FCode errno-style, or 0
  Refused,        // the program declines: a read-only file, too much data, no memory
  Unsupported,    // this build cannot do it
};

struct TError {
  TError() = default;
  TError(TErrorKind kind, std::string text, int code = 0, std::string path = {},
         std::size_t line = 0)
      : FKind(kind), FText(std::move(text)), FCode(code), FPath(std::move(path)), FLine(line) {}

  TErrorKind FKind = TErrorKind::Refused;
  std::string FText;      // English: the system's message or the program's own text
  int FCode = 0;          // errno-style; 0 when the system gave none
  std::string FPath;      // the file of a file error
  std::size_t FLine = 0;  // the first failing line of a refused text, from 1

  friend bool operator==(const TError&, const TError&) = default;
};

template <typename T>
class [[nodiscard]] TResult {
 public:
  TResult(T value) : FState(std::in_place_index<0>, std::move(value)) {}       // NOLINT: implicit
  TResult(TError error) : FState(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

  bool Ok() const { return FState.index() == 0; }
  explicit operator bool() const { return Ok(); }

  // Only after success.
  T& Value() { return std::get<0>(FState); }
  const T& Value() const { return std::get<0>(FState); }
  T& operator*() { return Value(); }
  const T& operator*() const { return Value(); }
  T* operator->() { return &Value(); }
  const T* operator->() const { return &Value(); }

  // Only after a failure.
  const TError& Error() const { return std::get<1>(FState); }
  TError& Error() { return std::get<1>(FState); }

 private:
  std::variant<T, TError> FState;
};

// Success (default constructed) or an error.
template <>
class [[nodiscard]] TResult<void> {
 public:
  TResult() = default;
  TResult(TError error) : FError(std::move(error)) {}  // NOLINT: implicit

  bool Ok() const { return !FError.has_value(); }
  explicit operator bool() const { return Ok(); }

  // Only after a failure.
  const TError& Error() const { return *FError; }
  TError& Error() { return *FError; }

 private:
  std::optional<TError> FError;
};

}  // namespace quenvar
