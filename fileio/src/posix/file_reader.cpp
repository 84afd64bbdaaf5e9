#include "quenvar/fileio/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "descriptor_io.h"

namespace quenvar {

namespace {

// Linux moves at most about 2 GiB per call; ask for less than that.
constexpr std::size_t kMaxCall = std::size_t{1} << 30;

}  // namespace

TResult<TFileReader> TFileReader::Open(const std::string& path) {
  TFileReader file;
  file.FPath = path;
  file.FFile = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.FFile < 0) return SystemFileError(TErrorKind::Open, path, errno);
  struct stat st {};
  if (::fstat(file.FFile, &st) != 0) return SystemFileError(TErrorKind::Open, path, errno);
  if (S_ISDIR(st.st_mode)) return SystemFileError(TErrorKind::Open, path, EISDIR);
  if (S_ISREG(st.st_mode)) {
    file.FSizeHint = static_cast<std::size_t>(st.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
    // Read ahead generously: every pass goes from the start to the end.
    ::posix_fadvise(file.FFile, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return file;
  }
  if (const int error = fileio_detail::ReadAll(file.FFile, file.FMemory); error != 0)
    return SystemFileError(TErrorKind::Read, path, error);
  ::close(file.FFile);
  file.FFile = kNoFile;
  file.FSizeHint = file.FMemory.size();
  return file;
}

void TFileReader::CloseFile(TNativeFile file) {
  ::close(file);
}

std::size_t TFileReader::ReadAt(TNativeFile file, std::span<std::uint8_t> to, std::uint64_t offset,
                                int& error) {
  for (;;) {
    const ssize_t n =
        ::pread(file, to.data(), std::min(to.size(), kMaxCall), static_cast<off_t>(offset));
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) {
      error = errno;
      return 0;
    }
  }
}

}  // namespace quenvar
