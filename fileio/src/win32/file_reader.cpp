#include "quenvar/fileio/file_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "win_file.h"

namespace quenvar {

namespace {

// ReadFile takes a 32-bit count; ask for well under that.
constexpr std::size_t kMaxCall = std::size_t{1} << 30;

}  // namespace

TFileExpected<TFileReader> TFileReader::Open(const std::string& path) {
  using R = TFileExpected<TFileReader>;
  TFileReader file;
  file.FPath = path;
  const std::optional<std::wstring> wide = fileio_detail::WideName(path);
  if (!wide) return R::Failure(SystemFileFailure(TFileAction::Open, path, ERROR_INVALID_NAME));
  // A folder fails here with the system's "Access is denied".
  const HANDLE handle = fileio_detail::OpenForReading(*wide);
  if (handle == INVALID_HANDLE_VALUE)
    return R::Failure(fileio_detail::LastFailure(TFileAction::Open, path));
  file.FHandle = handle;
  if (fileio_detail::IsDiskFile(handle)) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle, &size))
      return R::Failure(fileio_detail::LastFailure(TFileAction::Open, path));
    file.FSizeHint = static_cast<std::size_t>(size.QuadPart);
    return R::Success(std::move(file));
  }
  // A pipe or a console is read once, whole.
  if (const DWORD error = fileio_detail::ReadAll(handle, file.FMemory); error != 0)
    return R::Failure(SystemFileFailure(TFileAction::Read, path, static_cast<int>(error)));
  ::CloseHandle(std::exchange(file.FHandle, nullptr));
  file.FSizeHint = file.FMemory.size();
  return R::Success(std::move(file));
}

TFileReader::TFileReader(TFileReader&& other) noexcept
    : FPath(std::move(other.FPath)),
      FHandle(std::exchange(other.FHandle, nullptr)),
      FMemory(std::move(other.FMemory)),
      FSizeHint(other.FSizeHint),
      FPosition(other.FPosition),
      FFailure(std::move(other.FFailure)) {}

TFileReader& TFileReader::operator=(TFileReader&& other) noexcept {
  if (this != &other) {
    if (FHandle != nullptr) ::CloseHandle(FHandle);
    FPath = std::move(other.FPath);
    FHandle = std::exchange(other.FHandle, nullptr);
    FMemory = std::move(other.FMemory);
    FSizeHint = other.FSizeHint;
    FPosition = other.FPosition;
    FFailure = std::move(other.FFailure);
  }
  return *this;
}

TFileReader::~TFileReader() {
  if (FHandle != nullptr) ::CloseHandle(FHandle);
}

std::size_t TFileReader::Read(std::span<std::uint8_t> to) {
  if (FFailure) return 0;
  if (FHandle == nullptr) {
    const std::size_t n = std::min(to.size(), FMemory.size() - std::min(FPosition, FMemory.size()));
    if (n > 0) std::memcpy(to.data(), FMemory.data() + FPosition, n);
    FPosition += n;
    return n;
  }
  std::size_t have = 0;
  while (have < to.size()) {
    // The offset travels with each call, as pread's does.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(FPosition);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(FPosition) >> 32);
    DWORD n = 0;
    const auto ask = static_cast<DWORD>(std::min(to.size() - have, kMaxCall));
    if (!::ReadFile(FHandle, to.data() + have, ask, &n, &at)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      FFailure = SystemFileFailure(TFileAction::Read, FPath, static_cast<int>(error));
      return 0;
    }
    if (n == 0) break;
    have += n;
    FPosition += n;
  }
  return have;
}

}  // namespace quenvar
