#include "quenvar/fileio/regular_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "descriptor_io.h"

namespace quenvar {

TFileExpected<std::vector<std::uint8_t>> ReadRegularFile(const std::string& path) {
  using R = TFileExpected<std::vector<std::uint8_t>>;
  // Without O_NONBLOCK, opening a FIFO waits for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return R::Failure(SystemFileFailure(TFileAction::Open, path, errno));
  std::vector<std::uint8_t> bytes;
  int error = fileio_detail::RegularFileCheck(fd);
  if (error == 0) error = fileio_detail::ReadAll(fd, bytes);
  ::close(fd);
  if (error < 0) return R::Failure(TFileFailure{TFileAction::Open, path, "Not a regular file", 0});
  if (error == EISDIR) return R::Failure(SystemFileFailure(TFileAction::Open, path, error));
  if (error != 0) return R::Failure(SystemFileFailure(TFileAction::Read, path, error));
  return R::Success(std::move(bytes));
}

}  // namespace quenvar
