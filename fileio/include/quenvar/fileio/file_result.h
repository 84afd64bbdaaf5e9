#pragma once
// Errors of file operations are values: what was tried, on which path, and the
// system's own message ("No space left on device"), never a guess.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace quenvar {

enum class TFileAction : std::uint8_t {
  Open,    // opening an existing file (or creating a file that is then kept)
  Create,  // creating or renaming the temporary file of a save
  Read,
  Write,  // writing, syncing or closing the temporary file
  Lock,
};

struct TFileFailure {
  TFileAction Action = TFileAction::Open;
  std::string Path;    // as the caller named it
  std::string Reason;  // the system's message, without a final full stop
  int Code = 0;        // errno (on Windows the system's error code); 0 when the
                       // reason is none of the system's

  friend bool operator==(const TFileFailure&, const TFileFailure&) = default;
};

// The error of a failed system call: its errno (on Windows its GetLastError
// code), or a general I/O error when there is none.
TFileFailure SystemFileFailure(TFileAction action, std::string path, int code);

// What the system says for the code: std::generic_category's text ("Is a
// directory"), on Windows FormatMessageW's in UTF-8 ("Access is denied").
std::string SystemMessage(int code);

class TFileResult {
 public:
  static TFileResult Success() { return TFileResult(); }
  static TFileResult Failure(TFileFailure error) {
    TFileResult r;
    r.FError = std::move(error);
    return r;
  }

  bool Ok() const { return !FError.has_value(); }
  explicit operator bool() const { return Ok(); }
  // Only after a failure.
  const TFileFailure& Error() const { return *FError; }

 private:
  std::optional<TFileFailure> FError;
};

template <typename T>
class TFileExpected {
 public:
  static TFileExpected Success(T value) {
    TFileExpected r;
    r.FValue.emplace(std::move(value));
    return r;
  }
  static TFileExpected Failure(TFileFailure error) {
    TFileExpected r;
    r.FError = std::move(error);
    return r;
  }

  bool Ok() const { return FValue.has_value(); }
  explicit operator bool() const { return Ok(); }
  T& Value() { return *FValue; }
  const T& Value() const { return *FValue; }
  // Only after a failure.
  const TFileFailure& Error() const { return FError; }

 private:
  std::optional<T> FValue;
  TFileFailure FError;
};

}  // namespace quenvar
