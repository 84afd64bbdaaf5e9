#include "win_file.h"

#include <algorithm>
#include <new>

#include "quenvar/fileio/utf16.h"

namespace quenvar::fileio_detail {

namespace {

// ReadFile and WriteFile take a 32-bit count; ask for well under that.
constexpr std::size_t kMaxCall = std::size_t{1} << 30;
// From this length on a name gets the extended form; a little below MAX_PATH,
// as a temporary file's name is longer than its target's.
constexpr std::size_t kLongPath = MAX_PATH - 16;

}  // namespace

std::optional<std::wstring> WideName(const std::string& path) {
  std::optional<std::u16string> utf16 = Utf8ToUtf16(path);
  if (!utf16) return std::nullopt;
  std::wstring wide(utf16->begin(), utf16->end());
  // A path longer than MAX_PATH opens only in its extended form: full, with
  // backslashes, behind "\\?\" ("\\?\UNC\" for a share).
  if (wide.size() < kLongPath || wide.starts_with(LR"(\\?\)")) return wide;
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return wide;
  std::wstring full(size, L'\0');
  full.resize(::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr));
  if (full.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + full.substr(2);
  return LR"(\\?\)" + full;
}

TError LastFailure(TErrorKind action, const std::string& path) {
  return SystemFileError(action, path, static_cast<int>(::GetLastError()));
}

bool IsDiskFile(HANDLE handle) {
  return ::GetFileType(handle) == FILE_TYPE_DISK;
}

DWORD WriteAll(HANDLE handle, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const auto want = static_cast<DWORD>(std::min(bytes.size(), kMaxCall));
    if (!::WriteFile(handle, bytes.data(), want, &written, nullptr)) return ::GetLastError();
    // A file that takes nothing is full; say so rather than spin.
    if (written == 0) return ERROR_DISK_FULL;
    bytes = bytes.subspan(written);
  }
  return 0;
}

DWORD ReadAll(HANDLE handle, std::vector<std::uint8_t>& out) {
  LARGE_INTEGER size{};
  std::size_t want = 64 * 1024;
  if (::GetFileSizeEx(handle, &size) && size.QuadPart > 0)
    want = static_cast<std::size_t>(size.QuadPart) + 1;
  std::size_t have = out.size();
  try {
    for (;;) {
      // One byte more than the size on disk, so the end shows without a second grow.
      if (out.size() == have) out.resize(have + std::max(want, have));
      DWORD n = 0;
      const auto ask = static_cast<DWORD>(std::min(out.size() - have, kMaxCall));
      if (!::ReadFile(handle, out.data() + have, ask, &n, nullptr)) {
        const DWORD error = ::GetLastError();
        // The writer of a pipe has closed it: that is its end.
        if (error == ERROR_BROKEN_PIPE) break;
        out.resize(have);
        return error;
      }
      if (n == 0) break;
      have += n;
    }
  } catch (const std::bad_alloc&) {
    out.clear();
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  out.resize(have);
  return 0;
}

HANDLE OpenForReading(const std::wstring& name) {
  return ::CreateFileW(name.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

TResult<HANDLE> OpenDiskFile(const std::string& path, DWORD access) {
  const std::optional<std::wstring> wide = WideName(path);
  if (!wide) return SystemFileError(TErrorKind::Open, path, ERROR_INVALID_NAME);
  const HANDLE handle =
      ::CreateFileW(wide->c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastFailure(TErrorKind::Open, path);
  if (!IsDiskFile(handle)) {
    ::CloseHandle(handle);
    return NotARegularFile(TErrorKind::Open, path);
  }
  return handle;
}

}  // namespace quenvar::fileio_detail
