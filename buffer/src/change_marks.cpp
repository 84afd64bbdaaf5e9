#include "quenvar/buffer/change_marks.h"

#include <algorithm>

namespace quenvar {

namespace {
constexpr std::size_t WordBits = 64;

std::uint64_t LowMask(unsigned width) {
  return width >= WordBits ? ~std::uint64_t{0} : ((std::uint64_t{1} << width) - 1);
}
}  // namespace

void TChangeMarks::Resize(std::size_t size) {
  Count = size;
  const std::size_t words = (size + WordBits - 1) / WordBits;
  const std::size_t old = Words.size();
  if (words > Words.capacity()) {
    // New memory comes zeroed. Exact on first sizing (loads); a little slack
    // when edits grow it.
    if (!Words.empty()) Words.reserve(words + words / 16);
    Words.resize(words);
  } else {
    Words.resize(words);
    if (words > old) std::fill(Words.begin() + static_cast<std::ptrdiff_t>(old), Words.end(), 0);
  }
  TrimTail();
}

void TChangeMarks::Clear() {
  for (std::uint64_t& w : Words) w = 0;
}

bool TChangeMarks::Test(std::size_t pos) const {
  if (pos >= Count) return false;
  return (Words[pos / WordBits] >> (pos % WordBits)) & 1U;
}

void TChangeMarks::Set(std::size_t pos) {
  if (pos < Count) Words[pos / WordBits] |= std::uint64_t{1} << (pos % WordBits);
}

void TChangeMarks::Reset(std::size_t pos) {
  if (pos < Count) Words[pos / WordBits] &= ~(std::uint64_t{1} << (pos % WordBits));
}

bool TChangeMarks::Any() const {
  for (std::uint64_t w : Words)
    if (w != 0) return true;
  return false;
}

std::uint64_t TChangeMarks::Read64(std::size_t bit) const {
  const std::size_t w = bit / WordBits;
  const unsigned off = bit % WordBits;
  if (w >= Words.size()) return 0;
  std::uint64_t v = Words[w] >> off;
  if (off != 0 && w + 1 < Words.size()) v |= Words[w + 1] << (WordBits - off);
  return v;
}

void TChangeMarks::Write64(std::size_t bit, std::uint64_t value, unsigned width) {
  const std::size_t w = bit / WordBits;
  const unsigned off = bit % WordBits;
  const std::uint64_t mask = LowMask(width);
  value &= mask;
  Words[w] = (Words[w] & ~(mask << off)) | (value << off);
  if (off != 0 && off + width > WordBits) {
    const unsigned spill = WordBits - off;
    Words[w + 1] = (Words[w + 1] & ~(mask >> spill)) | (value >> spill);
  }
}

// Overlapping moves are safe in both directions: the chunk order keeps every source chunk
// ahead of the writes that could overwrite it.
void TChangeMarks::MoveBits(std::size_t from, std::size_t to, std::size_t count) {
  if (count == 0 || from == to) return;
  if (to > from) {
    std::size_t left = count;
    while (left > 0) {
      const unsigned width = left >= WordBits ? WordBits : static_cast<unsigned>(left);
      left -= width;
      Write64(to + left, Read64(from + left), width);
    }
  } else {
    for (std::size_t done = 0; done < count;) {
      const unsigned width =
          count - done >= WordBits ? WordBits : static_cast<unsigned>(count - done);
      Write64(to + done, Read64(from + done), width);
      done += width;
    }
  }
}

void TChangeMarks::ClearRange(std::size_t pos, std::size_t count) {
  while (count > 0) {
    const unsigned off = pos % WordBits;
    const unsigned width = count < WordBits - off ? static_cast<unsigned>(count) : WordBits - off;
    Words[pos / WordBits] &= ~(LowMask(width) << off);
    pos += width;
    count -= width;
  }
}

void TChangeMarks::TrimTail() {
  const unsigned used = Count % WordBits;
  if (used != 0 && !Words.empty()) Words.back() &= LowMask(used);
}

void TChangeMarks::Insert(std::size_t pos, std::size_t count) {
  if (count == 0) return;
  if (pos > Count) pos = Count;
  const std::size_t tail = Count - pos;
  Resize(Count + count);
  MoveBits(pos, pos + count, tail);
  ClearRange(pos, count);
}

void TChangeMarks::Erase(std::size_t pos, std::size_t count) {
  if (pos >= Count || count == 0) return;
  if (count > Count - pos) count = Count - pos;
  MoveBits(pos + count, pos, Count - pos - count);
  ClearRange(Count - count, count);
  Resize(Count - count);
}

void TChangeMarks::ClearFrom(std::size_t pos) {
  if (pos < Count) ClearRange(pos, Count - pos);
}

}  // namespace quenvar
