#include "quenvar/fileio/regular_file.h"

#include "win_file.h"

namespace quenvar {

TFileExpected<std::vector<std::uint8_t>> ReadRegularFile(const std::string& path) {
  using R = TFileExpected<std::vector<std::uint8_t>>;
  const std::optional<std::wstring> wide = fileio_detail::WideName(path);
  if (!wide) return R::Failure(SystemFileFailure(TFileAction::Open, path, ERROR_INVALID_NAME));
  // A folder fails here with the system's "Access is denied".
  const HANDLE handle = fileio_detail::OpenForReading(*wide);
  if (handle == INVALID_HANDLE_VALUE)
    return R::Failure(fileio_detail::LastFailure(TFileAction::Open, path));
  // A pipe or a device (CON, COM1) may never end; it is refused unread.
  if (!fileio_detail::IsDiskFile(handle)) {
    ::CloseHandle(handle);
    return R::Failure(fileio_detail::NotRegularFile(TFileAction::Open, path));
  }
  std::vector<std::uint8_t> bytes;
  const DWORD error = fileio_detail::ReadAll(handle, bytes);
  ::CloseHandle(handle);
  if (error != 0)
    return R::Failure(SystemFileFailure(TFileAction::Read, path, static_cast<int>(error)));
  return R::Success(std::move(bytes));
}

}  // namespace quenvar
