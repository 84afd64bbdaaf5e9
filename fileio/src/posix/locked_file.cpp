#include "quenvar/fileio/locked_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "descriptor_io.h"
#include "quenvar/fileio/atomic_file.h"

namespace quenvar {

namespace {

// Whether the descriptor still holds the file the path names: a holder that
// replaced the content while we waited has left our lock on a file nobody
// reads any more. 0 when it does, -1 when not, else an errno.
int StillAtPath(int fd, const std::string& path) {
  struct stat held {};
  struct stat now {};
  if (::fstat(fd, &held) != 0) return errno;
  if (::stat(path.c_str(), &now) != 0) return errno == ENOENT ? -1 : errno;
  return held.st_dev == now.st_dev && held.st_ino == now.st_ino ? 0 : -1;
}

}  // namespace

TResult<TLockedFile> TLockedFile::Open(const std::string& path,
                                       const std::function<void()>& onWait) {
  bool waited = false;
  for (;;) {
    TLockedFile file;
    file.FPath = path;
    // O_NONBLOCK: a FIFO must be refused, not waited on.
    file.FFd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (file.FFd < 0) return SystemFileError(TErrorKind::Open, path, errno);
    if (const int error = fileio_detail::RegularFileCheck(file.FFd); error != 0) {
      if (error < 0) return NotARegularFile(TErrorKind::Open, path);
      return SystemFileError(TErrorKind::Open, path, error);
    }
    if (::flock(file.FFd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) return SystemFileError(TErrorKind::Lock, path, errno);
      if (!waited && onWait) onWait();
      waited = true;
      // A signal ends the wait: the user wants out, not to go on waiting.
      if (::flock(file.FFd, LOCK_EX) != 0) return SystemFileError(TErrorKind::Lock, path, errno);
    }
    const int moved = StillAtPath(file.FFd, path);
    if (moved == 0) return file;
    if (moved > 0) return SystemFileError(TErrorKind::Open, path, moved);
  }
}

TLockedFile::TLockedFile(TLockedFile&& other) noexcept
    : FPath(std::move(other.FPath)), FFd(other.FFd) {
  other.FFd = -1;
}

TLockedFile& TLockedFile::operator=(TLockedFile&& other) noexcept {
  if (this != &other) {
    Unlock();
    FPath = std::move(other.FPath);
    FFd = other.FFd;
    other.FFd = -1;
  }
  return *this;
}

TLockedFile::~TLockedFile() {
  Unlock();
}

TResult<std::vector<std::uint8_t>> TLockedFile::ReadAll() const {
  if (FFd < 0) return SystemFileError(TErrorKind::Read, FPath, EBADF);
  std::vector<std::uint8_t> bytes;
  int error = ::lseek(FFd, 0, SEEK_SET) < 0 ? errno : 0;
  if (error == 0) error = fileio_detail::ReadAll(FFd, bytes);
  if (error != 0) return SystemFileError(TErrorKind::Read, FPath, error);
  return bytes;
}

TResult<void> TLockedFile::Replace(std::span<const std::uint8_t> bytes) {
  if (FFd < 0) return SystemFileError(TErrorKind::Lock, FPath, EBADF);
  TResult<TAtomicFile> file = TAtomicFile::Create(FPath);
  if (!file) return file.Error();
  if (TResult<void> written = file.Value().Write(bytes); !written) return written;
  // The new file is locked before its name appears, so no other process can
  // slip in between the rename and our lock.
  const int next = ::fcntl(file.Value().Descriptor(), F_DUPFD_CLOEXEC, 0);
  if (next < 0) return SystemFileError(TErrorKind::Lock, FPath, errno);
  if (::flock(next, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(next);
    return SystemFileError(TErrorKind::Lock, FPath, error);
  }
  if (TResult<void> committed = file.Value().Commit(); !committed) {
    ::close(next);
    return committed;
  }
  ::close(FFd);
  FFd = next;
  return {};
}

void TLockedFile::Unlock() {
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
}

}  // namespace quenvar
