#include "quenvar/fileio/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "descriptor_io.h"

namespace quenvar {

namespace {

// Linux moves at most about 2 GiB per call; ask for less than that.
constexpr std::size_t kMaxCall = std::size_t{1} << 30;

}  // namespace

TFileExpected<TFileReader> TFileReader::Open(const std::string& path) {
  using R = TFileExpected<TFileReader>;
  TFileReader file;
  file.FPath = path;
  file.FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.FFd < 0) return R::Failure(SystemFileFailure(TFileAction::Open, path, errno));
  struct stat st {};
  if (::fstat(file.FFd, &st) != 0)
    return R::Failure(SystemFileFailure(TFileAction::Open, path, errno));
  if (S_ISDIR(st.st_mode)) return R::Failure(SystemFileFailure(TFileAction::Open, path, EISDIR));
  if (S_ISREG(st.st_mode)) {
    file.FSizeHint = static_cast<std::size_t>(st.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
    // Read ahead generously: every pass goes from the start to the end.
    ::posix_fadvise(file.FFd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return R::Success(std::move(file));
  }
  if (const int error = fileio_detail::ReadAll(file.FFd, file.FMemory); error != 0)
    return R::Failure(SystemFileFailure(TFileAction::Read, path, error));
  ::close(file.FFd);
  file.FFd = -1;
  file.FSizeHint = file.FMemory.size();
  return R::Success(std::move(file));
}

TFileReader::TFileReader(TFileReader&& other) noexcept
    : FPath(std::move(other.FPath)),
      FFd(std::exchange(other.FFd, -1)),
      FMemory(std::move(other.FMemory)),
      FSizeHint(other.FSizeHint),
      FPosition(other.FPosition),
      FFailure(std::move(other.FFailure)) {}

TFileReader& TFileReader::operator=(TFileReader&& other) noexcept {
  if (this != &other) {
    if (FFd >= 0) ::close(FFd);
    FPath = std::move(other.FPath);
    FFd = std::exchange(other.FFd, -1);
    FMemory = std::move(other.FMemory);
    FSizeHint = other.FSizeHint;
    FPosition = other.FPosition;
    FFailure = std::move(other.FFailure);
  }
  return *this;
}

TFileReader::~TFileReader() {
  if (FFd >= 0) ::close(FFd);
}

std::size_t TFileReader::Read(std::span<std::uint8_t> to) {
  if (FFailure) return 0;
  if (FFd < 0) {
    const std::size_t n = std::min(to.size(), FMemory.size() - std::min(FPosition, FMemory.size()));
    if (n > 0) std::memcpy(to.data(), FMemory.data() + FPosition, n);
    FPosition += n;
    return n;
  }
  std::size_t have = 0;
  while (have < to.size()) {
    const ssize_t n = ::pread(FFd, to.data() + have, std::min(to.size() - have, kMaxCall),
                              static_cast<off_t>(FPosition));
    if (n < 0) {
      if (errno == EINTR) continue;
      FFailure = SystemFileFailure(TFileAction::Read, FPath, errno);
      return 0;
    }
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
    FPosition += static_cast<std::size_t>(n);
  }
  return have;
}

}  // namespace quenvar
