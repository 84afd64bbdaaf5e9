#include "quenvar/buffer/byte_image.h"

#include <cstdint>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace quenvar {

void AdviseLargeBlock(void* block, std::size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  // Only the whole huge pages inside the block; smaller blocks gain nothing.
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (start + bytes) & ~(kHugePage - 1);
  // madvise takes the address the arithmetic above rounded.
  if (last > first)
    ::madvise(reinterpret_cast<void*>(first),  // NOLINT(performance-no-int-to-ptr)
              last - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

}  // namespace quenvar
