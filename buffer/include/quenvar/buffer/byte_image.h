#pragma once
// The memory image as the buffer holds it: a byte vector whose new elements are
// left as they are instead of zeroed, so an image that a file is read or
// decoded into costs no fill that is overwritten at once. Whoever grows one
// writes every new byte before it is read.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace quenvar {

// Asks the system to back a large block with huge pages: a 16 MiB image then
// costs eight page faults instead of four thousand.
void AdviseLargeBlock(void* block, std::size_t bytes) noexcept;

// allocate, construct and deallocate are the names the standard library
// calls, hence the NOLINTs on them.
template <typename T>
class TUninitAllocator : public std::allocator<T> {
 public:
  using value_type = T;
  TUninitAllocator() = default;
  template <typename U>
  TUninitAllocator(const TUninitAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {  // NOLINT(readability-identifier-naming)
    T* block = std::allocator<T>::allocate(n);
    AdviseLargeBlock(block, n * sizeof(T));
    return block;
  }

  template <typename U>
  void construct(U* at) noexcept {  // NOLINT(readability-identifier-naming)
    ::new (static_cast<void*>(at)) U;
  }
  template <typename U, typename... TArgs>
  void construct(U* at, TArgs&&... args) {  // NOLINT(readability-identifier-naming)
    ::new (static_cast<void*>(at)) U(std::forward<TArgs>(args)...);
  }
};

using TByteImage = std::vector<std::uint8_t, TUninitAllocator<std::uint8_t>>;

// Memory that comes zeroed from the system (calloc), elements again left as
// they are: the change marks of a large buffer are sized without being
// written, and their pages stay untouched until something is marked.
template <typename T>
class TZeroedAllocator : public TUninitAllocator<T> {
 public:
  TZeroedAllocator() = default;
  template <typename U>
  TZeroedAllocator(const TZeroedAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {  // NOLINT(readability-identifier-naming)
    if (void* block = std::calloc(n, sizeof(T))) return static_cast<T*>(block);
    throw std::bad_alloc();
  }
  void deallocate(T* block, std::size_t) noexcept {  // NOLINT(readability-identifier-naming)
    std::free(block);
  }
};

// The same bytes as a standard vector.
inline bool operator==(const TByteImage& image, const std::vector<std::uint8_t>& bytes) {
  return std::equal(image.begin(), image.end(), bytes.begin(), bytes.end());
}

}  // namespace quenvar
