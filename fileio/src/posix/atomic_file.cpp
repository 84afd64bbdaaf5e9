#include "quenvar/fileio/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <random>
#include <string_view>

#include "descriptor_io.h"

namespace quenvar {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit for a path
constexpr int kNameAttempts = 100;
constexpr std::string_view kTempMark = ".~tmp";
constexpr std::size_t kRandomChars = 6;
constexpr std::uint64_t kFlushStep = std::uint64_t{4} << 20;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kernel's rule for links in world-writable sticky folders
// (fs.protected_symlinks): follow only a link of our own or of the folder's owner.
bool MayFollow(const std::string& linkPath, const struct stat& link) {
  if (link.st_uid == ::geteuid()) return true;
  struct stat folder {};
  if (::stat(FolderOf(linkPath).c_str(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return !shared || folder.st_uid == link.st_uid;
}

// Follows the links of the last component; the folders on the way are the
// kernel's business. Gives the path to replace, or an errno.
int ResolveLinks(std::string& path, struct stat& final, bool& exists) {
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    if (::lstat(path.c_str(), &final) != 0) {
      if (errno != ENOENT) return errno;
      exists = false;
      return 0;
    }
    if (!S_ISLNK(final.st_mode)) {
      exists = true;
      return 0;
    }
    if (!MayFollow(path, final)) return EACCES;
    char to[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), to, sizeof to);
    if (n < 0) return errno;
    if (static_cast<std::size_t>(n) == sizeof to) return ENAMETOOLONG;
    const std::string next(to, static_cast<std::size_t>(n));
    if (next.front() == '/')
      path = next;
    else
      path = FolderOf(path).append("/").append(next);
  }
  return ELOOP;
}

std::string RandomSuffix(std::random_device& random) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
  std::string s;
  for (std::size_t i = 0; i < kRandomChars; ++i) s += kChars[pick(random)];
  return s;
}

void SyncFolder(const std::string& folder) {
  // The new name is in place already; a folder that cannot be synced (some
  // file systems refuse) does not undo the save, so errors are not reported.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

TResult<TAtomicFile> TAtomicFile::Create(const std::string& target) {
  TAtomicFile file;
  file.FTarget = target;
  file.FDestination = target;
  if (target.empty()) return SystemFileError(TErrorKind::Create, target, ENOENT);
  if (target.back() == '/') return SystemFileError(TErrorKind::Create, target, EISDIR);

  struct stat st {};
  bool exists = false;
  if (const int error = ResolveLinks(file.FDestination, st, exists); error != 0)
    return SystemFileError(TErrorKind::Create, target, error);
  if (exists) {
    if (S_ISDIR(st.st_mode)) return SystemFileError(TErrorKind::Create, target, EISDIR);
    if (!S_ISREG(st.st_mode)) return NotARegularFile(TErrorKind::Create, target);
    // Renaming over a write-protected file would slip past its protection.
    if ((st.st_mode & S_IWUSR) == 0) return SystemFileError(TErrorKind::Create, target, EACCES);
    file.FKeepMode = true;
    file.FMode = st.st_mode & 0777;
  }

  const std::string stem =
      FolderOf(file.FDestination) + "/" +
      NameOf(file.FDestination).substr(0, NAME_MAX - kTempMark.size() - kRandomChars);
  std::random_device random;
  int error = EEXIST;
  for (int attempt = 0; attempt < kNameAttempts && error == EEXIST; ++attempt) {
    std::string temp = stem + std::string(kTempMark) + RandomSuffix(random);
    // Read access too, so a lock holder can still read what it saved.
    file.FFd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file.FFd >= 0) {
      file.FTempPath = std::move(temp);
      error = 0;
    } else {
      error = errno;
    }
  }
  if (error != 0) return SystemFileError(TErrorKind::Create, target, error);
  return file;
}

TAtomicFile::TAtomicFile(TAtomicFile&& other) noexcept
    : FTarget(std::move(other.FTarget)),
      FDestination(std::move(other.FDestination)),
      FTempPath(std::move(other.FTempPath)),
      FFd(other.FFd),
      FKeepMode(other.FKeepMode),
      FMode(other.FMode),
      FFailure(std::move(other.FFailure)),
      FWritten(other.FWritten),
      FFlushed(other.FFlushed) {
  other.FFd = -1;
  other.FTempPath.clear();
}

TAtomicFile& TAtomicFile::operator=(TAtomicFile&& other) noexcept {
  if (this != &other) {
    Abort();
    FTarget = std::move(other.FTarget);
    FDestination = std::move(other.FDestination);
    FTempPath = std::move(other.FTempPath);
    FFd = other.FFd;
    FKeepMode = other.FKeepMode;
    FMode = other.FMode;
    FFailure = std::move(other.FFailure);
    FWritten = other.FWritten;
    FFlushed = other.FFlushed;
    other.FFd = -1;
    other.FTempPath.clear();
  }
  return *this;
}

TResult<void> TAtomicFile::Write(std::span<const std::uint8_t> bytes) {
  if (FFailure) return *FFailure;
  if (FFd < 0) return Fail(SystemFileError(TErrorKind::Write, FTarget, EBADF));
  if (const int error = fileio_detail::WriteAll(FFd, bytes); error != 0)
    return Fail(SystemFileError(TErrorKind::Write, FTarget, error));
  FWritten += bytes.size();
#ifdef SYNC_FILE_RANGE_WRITE
  // Commit waits until everything is on disk: let the disk start on what a
  // long save has written so far while the rest is still being made.
  if (FWritten - FFlushed >= kFlushStep) {
    ::sync_file_range(FFd, static_cast<off_t>(FFlushed), static_cast<off_t>(FWritten - FFlushed),
                      SYNC_FILE_RANGE_WRITE);
    FFlushed = FWritten;
  }
#endif
  return {};
}

TResult<void> TAtomicFile::Commit() {
  if (FFailure) return *FFailure;
  if (FFd < 0) return Fail(SystemFileError(TErrorKind::Write, FTarget, EBADF));
  if (FKeepMode && ::fchmod(FFd, FMode) != 0)
    return Fail(SystemFileError(TErrorKind::Write, FTarget, errno));
  // The data must be on disk before the name points at it, or a crash could
  // leave an empty file where the old one was.
  if (::fsync(FFd) != 0) return Fail(SystemFileError(TErrorKind::Write, FTarget, errno));
  const int fd = FFd;
  FFd = -1;
  if (::close(fd) != 0) return Fail(SystemFileError(TErrorKind::Write, FTarget, errno));
  if (::rename(FTempPath.c_str(), FDestination.c_str()) != 0)
    return Fail(SystemFileError(TErrorKind::Create, FTarget, errno));
  FTempPath.clear();
  SyncFolder(FolderOf(FDestination));
  return {};
}

void TAtomicFile::Abort() {
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
  if (!FTempPath.empty()) {
    ::unlink(FTempPath.c_str());
    FTempPath.clear();
  }
}

}  // namespace quenvar
