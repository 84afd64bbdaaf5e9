#pragma once

#include <string>
#include <utility>

namespace quenvar {

// Outcome of a buffer operation that can fail: success, or the fixed English error text the
// application shows in its standard error box.
class TBufferResult {
 public:
  static TBufferResult Success() { return TBufferResult(); }
  static TBufferResult Failure(std::string message) {
    TBufferResult r;
    r.Failed = true;
    r.Text = std::move(message);
    return r;
  }

  bool Ok() const { return !Failed; }
  explicit operator bool() const { return !Failed; }
  const std::string& Message() const { return Text; }

 private:
  bool Failed = false;
  std::string Text;
};

}  // namespace quenvar
