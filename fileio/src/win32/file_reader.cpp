#include "quenvar/fileio/file_reader.h"

#include <algorithm>
#include <utility>

#include "win_file.h"

namespace quenvar {

namespace {

// ReadFile takes a 32-bit count; ask for well under that.
constexpr std::size_t kMaxCall = std::size_t{1} << 30;

}  // namespace

TResult<TFileReader> TFileReader::Open(const std::string& path) {
  TFileReader file;
  file.FPath = path;
  const std::optional<std::wstring> wide = fileio_detail::WideName(path);
  if (!wide) return SystemFileError(TErrorKind::Open, path, ERROR_INVALID_NAME);
  // A folder fails here with the system's "Access is denied".
  const HANDLE handle = fileio_detail::OpenForReading(*wide);
  if (handle == INVALID_HANDLE_VALUE) return fileio_detail::LastFailure(TErrorKind::Open, path);
  file.FFile = handle;
  if (fileio_detail::IsDiskFile(handle)) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle, &size)) return fileio_detail::LastFailure(TErrorKind::Open, path);
    file.FSizeHint = static_cast<std::size_t>(size.QuadPart);
    return file;
  }
  // A pipe or a console is read once, whole.
  if (const DWORD error = fileio_detail::ReadAll(handle, file.FMemory); error != 0)
    return SystemFileError(TErrorKind::Read, path, static_cast<int>(error));
  ::CloseHandle(std::exchange(file.FFile, kNoFile));
  file.FSizeHint = file.FMemory.size();
  return file;
}

void TFileReader::CloseFile(TNativeFile file) {
  ::CloseHandle(file);
}

std::size_t TFileReader::ReadAt(TNativeFile file, std::span<std::uint8_t> to, std::uint64_t offset,
                                int& error) {
  // The offset travels with the call, as pread's does.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD n = 0;
  if (::ReadFile(file, to.data(), static_cast<DWORD>(std::min(to.size(), kMaxCall)), &n, &at))
    return n;
  if (const DWORD code = ::GetLastError(); code != ERROR_HANDLE_EOF) error = static_cast<int>(code);
  return 0;
}

}  // namespace quenvar
