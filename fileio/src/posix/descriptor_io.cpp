#include "descriptor_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

namespace quenvar::fileio_detail {

namespace {

// Linux moves at most about 2 GiB per call; ask for less than that.
constexpr std::size_t kMaxCall = std::size_t{1} << 30;

}  // namespace

int WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), std::min(bytes.size(), kMaxCall));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    // A regular file that takes nothing is full; say so rather than spin.
    if (n == 0) return ENOSPC;
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return 0;
}

int ReadAll(int fd, std::vector<std::uint8_t>& out) {
  struct stat st {};
  std::size_t want = 64 * 1024;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) want = static_cast<std::size_t>(st.st_size) + 1;
  std::size_t have = out.size();
  try {
    for (;;) {
      // One byte more than the size on disk, so the end shows without a second grow.
      if (out.size() - have == 0) out.resize(have + std::max<std::size_t>(want, have));
      const ssize_t n = ::read(fd, out.data() + have, std::min(out.size() - have, kMaxCall));
      if (n < 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        out.resize(have);
        return error;
      }
      if (n == 0) break;
      have += static_cast<std::size_t>(n);
    }
  } catch (const std::bad_alloc&) {
    out.clear();
    return ENOMEM;
  }
  out.resize(have);
  return 0;
}

int RegularFileCheck(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  if (S_ISREG(st.st_mode)) return 0;
  return S_ISDIR(st.st_mode) ? EISDIR : -1;
}

}  // namespace quenvar::fileio_detail
