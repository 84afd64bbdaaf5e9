#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "quenvar/buffer/byte_image.h"

namespace quenvar {

// One bit per byte position: set when the byte was overwritten with a different value. Kept as a
// packed bitset so a large buffer pays one eighth of its size for the marks.
class TChangeMarks {
 public:
  std::size_t Size() const { return FCount; }
  void Resize(std::size_t size);  // new positions are unmarked
  void Clear();                   // unmarks everything, keeps the size

  bool Test(std::size_t pos) const;
  void Set(std::size_t pos);
  void Reset(std::size_t pos);
  bool Any() const;

  // Opens count unmarked positions at pos; the marks from pos on move up with the data.
  void Insert(std::size_t pos, std::size_t count);
  // Removes count positions at pos; the marks after them move down.
  void Erase(std::size_t pos, std::size_t count);
  // Unmarks every position from pos on (the size stays).
  void ClearFrom(std::size_t pos);

  std::size_t MemoryBytes() const { return FWords.capacity() * sizeof(std::uint64_t); }

 private:
  std::uint64_t Read64(std::size_t bit) const;
  void Write64(std::size_t bit, std::uint64_t value, unsigned width);
  void MoveBits(std::size_t from, std::size_t to, std::size_t count);
  void ClearRange(std::size_t pos, std::size_t count);
  void TrimTail();

  std::vector<std::uint64_t, TZeroedAllocator<std::uint64_t>> FWords;
  std::size_t FCount = 0;
};

}  // namespace quenvar
