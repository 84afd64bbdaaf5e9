#include "quenvar/fileio/regular_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "descriptor_io.h"

namespace quenvar {

TResult<std::vector<std::uint8_t>> ReadRegularFile(const std::string& path) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return SystemFileError(TErrorKind::Open, path, errno);
  std::vector<std::uint8_t> bytes;
  int error = fileio_detail::RegularFileCheck(fd);
  if (error == 0) error = fileio_detail::ReadAll(fd, bytes);
  ::close(fd);
  if (error < 0) return NotARegularFile(TErrorKind::Open, path);
  if (error == EISDIR) return SystemFileError(TErrorKind::Open, path, error);
  if (error != 0) return SystemFileError(TErrorKind::Read, path, error);
  return bytes;
}

}  // namespace quenvar
