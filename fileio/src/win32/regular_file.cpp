#include "quenvar/fileio/regular_file.h"

#include "win_file.h"

namespace quenvar {

TResult<std::vector<std::uint8_t>> ReadRegularFile(const std::string& path) {
  const std::optional<std::wstring> wide = fileio_detail::WideName(path);
  if (!wide) return SystemFileError(TErrorKind::Open, path, ERROR_INVALID_NAME);
  // A folder fails here with the system's "Access is denied".
  const HANDLE handle = fileio_detail::OpenForReading(*wide);
  if (handle == INVALID_HANDLE_VALUE) return fileio_detail::LastFailure(TErrorKind::Open, path);
  // A pipe or a device (CON, COM1) may never end; it is refused unread.
  if (!fileio_detail::IsDiskFile(handle)) {
    ::CloseHandle(handle);
    return NotARegularFile(TErrorKind::Open, path);
  }
  std::vector<std::uint8_t> bytes;
  const DWORD error = fileio_detail::ReadAll(handle, bytes);
  ::CloseHandle(handle);
  if (error != 0) return SystemFileError(TErrorKind::Read, path, static_cast<int>(error));
  return bytes;
}

}  // namespace quenvar
