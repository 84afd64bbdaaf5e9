#include "serial_file.h"

#include <charconv>
#include <string_view>
#include <vector>

#include "quenvar/fileio/file_error.h"
#include "quenvar/fileio/locked_file.h"
#include "quenvar/fileio/regular_file.h"

namespace quenvar {

namespace {

std::string FailureText(const TError& failure) {
  return "serial file '" + failure.FPath + "': " + failure.FText;
}

}  // namespace

std::optional<std::uint64_t> ParseSerialText(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  std::uint64_t number = 0;
  const char* last = text.data() + text.size();
  auto [end, ec] = std::from_chars(text.data(), last, number);
  if (ec != std::errc() || end != last) return std::nullopt;
  return number;
}

TSerialTake TSerialFile::Peek(const std::function<std::string(std::uint64_t)>& refuse) const {
  return Read(false, refuse);
}

TSerialTake TSerialFile::Take(const std::function<std::string(std::uint64_t)>& refuse) const {
  return Read(true, refuse);
}

TSerialTake TSerialFile::Read(bool take,
                              const std::function<std::string(std::uint64_t)>& refuse) const {
  TSerialTake result;
  // The lock would create a missing file, and an empty file holds no number:
  // a typing error in the path must not start a fresh count.
  // (Read unlocked only to see that it is there, under a UTF-8 name on every system.)
  if (const TResult<std::vector<std::uint8_t>> there = ReadRegularFile(FPath); !there) {
    result.FError =
        FailureText(there.Error()) + "; create it with the first number, e.g. echo 1000 > " + FPath;
    return result;
  }
  TResult<TLockedFile> file = TLockedFile::Open(FPath);
  if (!file) {
    result.FError = FailureText(file.Error());
    return result;
  }
  TResult<std::vector<std::uint8_t>> bytes = file.Value().ReadAll();
  if (!bytes) {
    result.FError = FailureText(bytes.Error());
    return result;
  }
  const std::string text(bytes.Value().begin(), bytes.Value().end());
  const std::optional<std::uint64_t> number = ParseSerialText(text);
  if (!number) {
    result.FError = "serial file '" + FPath + "' does not hold the next number as decimal digits";
    return result;
  }
  if (*number == UINT64_MAX) {
    result.FError = "serial file '" + FPath + "': no number follows " + std::to_string(*number);
    return result;
  }
  if (refuse)
    if (std::string why = refuse(*number); !why.empty()) {
      result.FError = std::move(why);
      return result;
    }
  if (take) {
    const std::string next = std::to_string(*number + 1) + "\n";
    const TResult<void> written = file.Value().Replace(
        std::span(reinterpret_cast<const std::uint8_t*>(next.data()), next.size()));
    if (!written) {
      result.FError = FailureText(written.Error());
      return result;
    }
  }
  result.FNumber = number;
  return result;
}

}  // namespace quenvar
