#include "quenvar/fileio/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <span>

#include "descriptor_io.h"

namespace quenvar {

TResult<TAppendFile> TAppendFile::Open(const std::string& path) {
  TAppendFile file;
  file.FPath = path;
  // Read access too: the last byte tells whether a line was left unfinished.
  // O_NONBLOCK: a FIFO must be refused, not waited on.
  file.FFd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (file.FFd < 0) return SystemFileError(TErrorKind::Open, path, errno);
  if (const int error = fileio_detail::RegularFileCheck(file.FFd); error != 0) {
    if (error < 0) return NotARegularFile(TErrorKind::Open, path);
    return SystemFileError(TErrorKind::Open, path, error);
  }
  return file;
}

TAppendFile::TAppendFile(TAppendFile&& other) noexcept
    : FPath(std::move(other.FPath)), FFd(other.FFd) {
  other.FFd = -1;
}

TAppendFile& TAppendFile::operator=(TAppendFile&& other) noexcept {
  if (this != &other) {
    if (FFd >= 0) ::close(FFd);
    FPath = std::move(other.FPath);
    FFd = other.FFd;
    other.FFd = -1;
  }
  return *this;
}

TAppendFile::~TAppendFile() {
  if (FFd >= 0) ::close(FFd);
}

TResult<void> TAppendFile::AppendLine(std::string_view line) {
  if (FFd < 0) return SystemFileError(TErrorKind::Write, FPath, EBADF);
  std::string record;
  record.reserve(line.size() + 2);
  struct stat st {};
  if (::fstat(FFd, &st) != 0) return SystemFileError(TErrorKind::Write, FPath, errno);
  char last = '\n';
  if (st.st_size > 0 && ::pread(FFd, &last, 1, st.st_size - 1) != 1)
    return SystemFileError(TErrorKind::Read, FPath, errno);
  if (last != '\n') record += '\n';
  record.append(line);
  record += '\n';
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(record.data()), record.size());
  if (const int error = fileio_detail::WriteAll(FFd, bytes); error != 0)
    return SystemFileError(TErrorKind::Write, FPath, error);
  if (::fdatasync(FFd) != 0) return SystemFileError(TErrorKind::Write, FPath, errno);
  return {};
}

}  // namespace quenvar
