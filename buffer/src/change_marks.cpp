#include "quenvar/buffer/change_marks.h"

#include <algorithm>

namespace quenvar {

namespace {
constexpr std::size_t kWordBits = 64;

std::uint64_t LowMask(unsigned width) {
  return width >= kWordBits ? ~std::uint64_t{0} : ((std::uint64_t{1} << width) - 1);
}
}  // namespace

void TChangeMarks::Resize(std::size_t size) {
  FCount = size;
  const std::size_t words = (size + kWordBits - 1) / kWordBits;
  const std::size_t old = FWords.size();
  if (words > FWords.capacity()) {
    // New memory comes zeroed. Exact on first sizing (loads); a little slack
    // when edits grow it.
    if (!FWords.empty()) FWords.reserve(words + words / 16);
    FWords.resize(words);
  } else {
    FWords.resize(words);
    if (words > old) std::fill(FWords.begin() + static_cast<std::ptrdiff_t>(old), FWords.end(), 0);
  }
  TrimTail();
}

void TChangeMarks::Clear() {
  for (std::uint64_t& w : FWords) w = 0;
}

bool TChangeMarks::Test(std::size_t pos) const {
  if (pos >= FCount) return false;
  return (FWords[pos / kWordBits] >> (pos % kWordBits)) & 1U;
}

void TChangeMarks::Set(std::size_t pos) {
  if (pos < FCount) FWords[pos / kWordBits] |= std::uint64_t{1} << (pos % kWordBits);
}

void TChangeMarks::Reset(std::size_t pos) {
  if (pos < FCount) FWords[pos / kWordBits] &= ~(std::uint64_t{1} << (pos % kWordBits));
}

bool TChangeMarks::Any() const {
  for (std::uint64_t w : FWords)
    if (w != 0) return true;
  return false;
}

std::uint64_t TChangeMarks::Read64(std::size_t bit) const {
  const std::size_t w = bit / kWordBits;
  const unsigned off = bit % kWordBits;
  if (w >= FWords.size()) return 0;
  std::uint64_t v = FWords[w] >> off;
  if (off != 0 && w + 1 < FWords.size()) v |= FWords[w + 1] << (kWordBits - off);
  return v;
}

void TChangeMarks::Write64(std::size_t bit, std::uint64_t value, unsigned width) {
  const std::size_t w = bit / kWordBits;
  const unsigned off = bit % kWordBits;
  const std::uint64_t mask = LowMask(width);
  value &= mask;
  FWords[w] = (FWords[w] & ~(mask << off)) | (value << off);
  if (off != 0 && off + width > kWordBits) {
    const unsigned spill = kWordBits - off;
    FWords[w + 1] = (FWords[w + 1] & ~(mask >> spill)) | (value >> spill);
  }
}

// Overlapping moves are safe in both directions: the chunk order keeps every source chunk
// ahead of the writes that could overwrite it.
void TChangeMarks::MoveBits(std::size_t from, std::size_t to, std::size_t count) {
  if (count == 0 || from == to) return;
  if (to > from) {
    std::size_t left = count;
    while (left > 0) {
      const unsigned width = left >= kWordBits ? kWordBits : static_cast<unsigned>(left);
      left -= width;
      Write64(to + left, Read64(from + left), width);
    }
  } else {
    for (std::size_t done = 0; done < count;) {
      const unsigned width =
          count - done >= kWordBits ? kWordBits : static_cast<unsigned>(count - done);
      Write64(to + done, Read64(from + done), width);
      done += width;
    }
  }
}

void TChangeMarks::ClearRange(std::size_t pos, std::size_t count) {
  while (count > 0) {
    const unsigned off = pos % kWordBits;
    const unsigned width = count < kWordBits - off ? static_cast<unsigned>(count) : kWordBits - off;
    FWords[pos / kWordBits] &= ~(LowMask(width) << off);
    pos += width;
    count -= width;
  }
}

void TChangeMarks::TrimTail() {
  const unsigned used = FCount % kWordBits;
  if (used != 0 && !FWords.empty()) FWords.back() &= LowMask(used);
}

void TChangeMarks::Insert(std::size_t pos, std::size_t count) {
  if (count == 0) return;
  if (pos > FCount) pos = FCount;
  const std::size_t tail = FCount - pos;
  Resize(FCount + count);
  MoveBits(pos, pos + count, tail);
  ClearRange(pos, count);
}

void TChangeMarks::Erase(std::size_t pos, std::size_t count) {
  if (pos >= FCount || count == 0) return;
  if (count > FCount - pos) count = FCount - pos;
  MoveBits(pos + count, pos, FCount - pos - count);
  ClearRange(FCount - count, count);
  Resize(FCount - count);
}

void TChangeMarks::ClearFrom(std::size_t pos) {
  if (pos < FCount) ClearRange(pos, FCount - pos);
}

}  // namespace quenvar
