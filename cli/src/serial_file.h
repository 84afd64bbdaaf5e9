#pragma once
// The file that holds the next serial number as decimal text. Every number is
// taken under an exclusive lock and the file is rewritten atomically before
// the lock goes, so two programmers, or two processes, never get the same one.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quenvar {

struct TSerialTake {
  std::optional<std::uint64_t> FNumber;  // empty: FError says why
  std::string FError;
};

class TSerialFile {
 public:
  explicit TSerialFile(std::string path) : FPath(std::move(path)) {}

  // The next number without taking it: whether the file is there and holds
  // one that `refuse` has nothing against.
  TSerialTake Peek(const std::function<std::string(std::uint64_t)>& refuse = {}) const;
  // Takes the next number when `accept` agrees with it (e.g. it fits the
  // stamp); the file then holds the one after. A refused number stays in the file.
  TSerialTake Take(const std::function<std::string(std::uint64_t)>& refuse = {}) const;

  const std::string& Path() const { return FPath; }

 private:
  TSerialTake Read(bool take, const std::function<std::string(std::uint64_t)>& refuse) const;

  std::string FPath;
};

// The number in the file's text: decimal digits with blanks or line ends
// around them; empty for anything else.
std::optional<std::uint64_t> ParseSerialText(std::string_view text);

}  // namespace quenvar
