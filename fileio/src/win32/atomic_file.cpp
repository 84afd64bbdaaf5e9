#include "quenvar/fileio/atomic_file.h"

#include <windows.h>

#include <optional>
#include <random>
#include <string_view>
#include <utility>

#include "quenvar/fileio/utf16.h"
#include "win_file.h"

namespace quenvar {

using fileio_detail::WideName;

namespace {

constexpr int kNameAttempts = 100;
constexpr std::wstring_view kTempMark = L".~tmp";
constexpr std::size_t kRandomChars = 6;
constexpr std::size_t kMaxComponent = 255;  // UTF-16 units in one name
// A virus scanner or indexer that opens the new file for a moment makes the
// rename fail with a sharing error; it is worth a few short tries.
constexpr int kRenameAttempts = 5;
constexpr DWORD kFirstRenamePauseMs = 20;

bool IsSeparator(wchar_t c) {
  return c == L'/' || c == L'\\';
}

std::size_t NameStart(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"/\\:");
  return separator == std::wstring::npos ? 0 : separator + 1;
}

std::wstring RandomSuffix(std::random_device& random) {
  static constexpr wchar_t kChars[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kChars) - 2);
  std::wstring s;
  for (std::size_t i = 0; i < kRandomChars; ++i) s += kChars[pick(random)];
  return s;
}

// The target's name, cut so that the temporary name stays a legal component
// (never between the two halves of a surrogate pair).
std::wstring TempStem(const std::wstring& target) {
  const std::size_t start = NameStart(target);
  std::size_t keep =
      std::min(target.size() - start, kMaxComponent - kTempMark.size() - kRandomChars);
  if (keep > 0 && keep < target.size() - start && target[start + keep - 1] >= 0xD800 &&
      target[start + keep - 1] <= 0xDBFF)
    --keep;
  return target.substr(0, start + keep);
}

std::string Utf8Name(const std::wstring& name) {
  return Utf16ToUtf8(std::u16string(name.begin(), name.end()));
}

// An existing target must be a plain writable file: a folder, a read-only
// file and a device (NUL, COM1: they exist in every folder) are refused.
std::optional<TError> CheckTarget(const std::wstring& wide, const std::string& target) {
  const auto failure = [&](DWORD error) {
    return SystemFileError(TErrorKind::Create, target, static_cast<int>(error));
  };
  // No access asked for: only to learn what the name is, even if it is in use.
  const HANDLE handle =
      ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
    return failure(error);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool disk = fileio_detail::IsDiskFile(handle);
  const bool known = disk && ::GetFileInformationByHandle(handle, &info);
  const DWORD error = ::GetLastError();
  ::CloseHandle(handle);
  if (!disk) return NotARegularFile(TErrorKind::Create, target);
  if (!known) return failure(error);
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return failure(ERROR_ACCESS_DENIED);
  // Renaming over a read-only file would slip past its protection.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) return failure(ERROR_ACCESS_DENIED);
  return std::nullopt;
}

}  // namespace

TResult<TAtomicFile> TAtomicFile::Create(const std::string& target) {
  TAtomicFile file;
  file.FTarget = target;
  file.FDestination = target;
  const std::optional<std::wstring> wide = WideName(target);
  if (!wide) return SystemFileError(TErrorKind::Create, target, ERROR_INVALID_NAME);
  if (wide->empty()) return SystemFileError(TErrorKind::Create, target, ERROR_PATH_NOT_FOUND);
  if (IsSeparator(wide->back()))
    return SystemFileError(TErrorKind::Create, target, ERROR_ACCESS_DENIED);
  if (std::optional<TError> refused = CheckTarget(*wide, target)) return std::move(*refused);

  const std::wstring stem = TempStem(*wide);
  std::random_device random;
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < kNameAttempts && error == ERROR_FILE_EXISTS; ++attempt) {
    std::wstring temp = stem + std::wstring(kTempMark) + RandomSuffix(random);
    // Read access too, so a caller can still read what it saved; no one else writes.
    const HANDLE handle = ::CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      error = ::GetLastError();
      continue;
    }
    file.FHandle = handle;
    file.FTempPath = Utf8Name(temp);
    error = 0;
    // A reserved device name ("nul.~tmpab12cd" on older systems) opens the device.
    if (!fileio_detail::IsDiskFile(handle)) return NotARegularFile(TErrorKind::Create, target);
  }
  if (error != 0) return SystemFileError(TErrorKind::Create, target, static_cast<int>(error));
  return file;
}

TAtomicFile::TAtomicFile(TAtomicFile&& other) noexcept
    : FTarget(std::move(other.FTarget)),
      FDestination(std::move(other.FDestination)),
      FTempPath(std::exchange(other.FTempPath, {})),
      FHandle(std::exchange(other.FHandle, nullptr)),
      FFailure(std::move(other.FFailure)),
      FWritten(other.FWritten),
      FFlushed(other.FFlushed) {}

TAtomicFile& TAtomicFile::operator=(TAtomicFile&& other) noexcept {
  if (this != &other) {
    Abort();
    FTarget = std::move(other.FTarget);
    FDestination = std::move(other.FDestination);
    FTempPath = std::exchange(other.FTempPath, {});
    FHandle = std::exchange(other.FHandle, nullptr);
    FFailure = std::move(other.FFailure);
    FWritten = other.FWritten;
    FFlushed = other.FFlushed;
  }
  return *this;
}

TResult<void> TAtomicFile::Write(std::span<const std::uint8_t> bytes) {
  if (FFailure) return *FFailure;
  if (FHandle == nullptr)
    return Fail(SystemFileError(TErrorKind::Write, FTarget, ERROR_INVALID_HANDLE));
  if (const DWORD error = fileio_detail::WriteAll(FHandle, bytes); error != 0)
    return Fail(SystemFileError(TErrorKind::Write, FTarget, static_cast<int>(error)));
  FWritten += bytes.size();
  return {};
}

TResult<void> TAtomicFile::Commit() {
  if (FFailure) return *FFailure;
  if (FHandle == nullptr)
    return Fail(SystemFileError(TErrorKind::Write, FTarget, ERROR_INVALID_HANDLE));
  // The data must be on disk before the name points at it, or a crash could
  // leave an empty file where the old one was.
  if (!::FlushFileBuffers(FHandle))
    return Fail(fileio_detail::LastFailure(TErrorKind::Write, FTarget));
  const HANDLE handle = std::exchange(FHandle, nullptr);
  if (!::CloseHandle(handle)) return Fail(fileio_detail::LastFailure(TErrorKind::Write, FTarget));
  const std::optional<std::wstring> from = WideName(FTempPath);
  const std::optional<std::wstring> to = WideName(FDestination);
  DWORD pause = kFirstRenamePauseMs;
  for (int attempt = 1;; ++attempt) {
    if (::MoveFileExW(from->c_str(), to->c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      break;
    const DWORD error = ::GetLastError();
    if (attempt == kRenameAttempts ||
        (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION))
      return Fail(SystemFileError(TErrorKind::Create, FTarget, static_cast<int>(error)));
    ::Sleep(pause);
    pause *= 2;
  }
  FTempPath.clear();
  return {};
}

void TAtomicFile::Abort() {
  if (FHandle != nullptr) ::CloseHandle(std::exchange(FHandle, nullptr));
  if (!FTempPath.empty()) {
    if (const std::optional<std::wstring> temp = WideName(FTempPath)) ::DeleteFileW(temp->c_str());
    FTempPath.clear();
  }
}

}  // namespace quenvar
