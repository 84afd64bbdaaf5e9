#include "quenvar/fileio/locked_file.h"

#include <windows.h>

#include <cstdio>
#include <utility>

#include "quenvar/fileio/atomic_file.h"
#include "quenvar/fileio/regular_file.h"
#include "win_file.h"

namespace quenvar {

namespace {

// The name every process gives the same file: the system's final name of it
// (links and short names resolved), in one case, hashed to fit a mutex name.
std::wstring MutexName(HANDLE file, const std::wstring& given) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) {
      // Not every file system tells: the full path is the next best name.
      const DWORD full = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
      name.assign(full, L'\0');
      name.resize(::GetFullPathNameW(given.c_str(), full, name.data(), nullptr));
      break;
    }
    if (n < name.size()) {
      name.resize(n);
      break;
    }
    name.assign(n, L'\0');
  }
  if (!name.empty())
    ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(),
                    static_cast<int>(name.size()), name.data(), static_cast<int>(name.size()),
                    nullptr, nullptr, 0);
  // FNV-1a over the UTF-16 units.
  std::uint64_t hash = 14695981039346656037ull;
  for (const wchar_t c : name) {
    hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
  }
  wchar_t text[17];
  std::swprintf(text, std::size(text), L"%016llx", static_cast<unsigned long long>(hash));
  return L"Local\\Quenvar.lock." + std::wstring(text);
}

}  // namespace

TResult<TLockedFile> TLockedFile::Open(const std::string& path,
                                       const std::function<void()>& onWait) {
  // Created empty when missing.
  const TResult<HANDLE> handle = fileio_detail::OpenDiskFile(path, GENERIC_READ);
  if (!handle) return handle.Error();
  const std::wstring name = MutexName(handle.Value(), *fileio_detail::WideName(path));
  ::CloseHandle(handle.Value());

  TLockedFile file;
  file.FPath = path;
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return fileio_detail::LastFailure(TErrorKind::Lock, path);
  file.FMutex = mutex;
  // A holder that ended without unlocking leaves the mutex abandoned: ours then.
  DWORD waited = ::WaitForSingleObject(mutex, 0);
  if (waited == WAIT_TIMEOUT) {
    if (onWait) onWait();
    waited = ::WaitForSingleObject(mutex, INFINITE);
  }
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    TError failure = fileio_detail::LastFailure(TErrorKind::Lock, path);
    ::CloseHandle(std::exchange(file.FMutex, nullptr));
    return failure;
  }
  return file;
}

TLockedFile::TLockedFile(TLockedFile&& other) noexcept
    : FPath(std::move(other.FPath)), FMutex(std::exchange(other.FMutex, nullptr)) {}

TLockedFile& TLockedFile::operator=(TLockedFile&& other) noexcept {
  if (this != &other) {
    Unlock();
    FPath = std::move(other.FPath);
    FMutex = std::exchange(other.FMutex, nullptr);
  }
  return *this;
}

TLockedFile::~TLockedFile() {
  Unlock();
}

TResult<std::vector<std::uint8_t>> TLockedFile::ReadAll() const {
  if (FMutex == nullptr) return SystemFileError(TErrorKind::Read, FPath, ERROR_INVALID_HANDLE);
  TResult<std::vector<std::uint8_t>> bytes = ReadRegularFile(FPath);
  if (!bytes) bytes.Error().FKind = TErrorKind::Read;
  return bytes;
}

TResult<void> TLockedFile::Replace(std::span<const std::uint8_t> bytes) {
  if (FMutex == nullptr) return SystemFileError(TErrorKind::Lock, FPath, ERROR_INVALID_HANDLE);
  return WriteFileAtomically(FPath, bytes);
}

void TLockedFile::Unlock() {
  if (FMutex != nullptr) {
    ::ReleaseMutex(FMutex);
    ::CloseHandle(std::exchange(FMutex, nullptr));
  }
}

}  // namespace quenvar
