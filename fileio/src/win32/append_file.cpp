#include "quenvar/fileio/append_file.h"

#include <cstdint>
#include <span>
#include <utility>

#include "win_file.h"

namespace quenvar {

TResult<TAppendFile> TAppendFile::Open(const std::string& path) {
  // Append data without write data: every WriteFile lands at the end, whoever
  // wrote last. Read access too: the last byte tells whether a line was left
  // unfinished.
  const TResult<HANDLE> handle = fileio_detail::OpenDiskFile(path, GENERIC_READ | FILE_APPEND_DATA);
  if (!handle) return handle.Error();
  TAppendFile file;
  file.FPath = path;
  file.FHandle = handle.Value();
  return file;
}

TAppendFile::TAppendFile(TAppendFile&& other) noexcept
    : FPath(std::move(other.FPath)), FHandle(std::exchange(other.FHandle, nullptr)) {}

TAppendFile& TAppendFile::operator=(TAppendFile&& other) noexcept {
  if (this != &other) {
    if (FHandle != nullptr) ::CloseHandle(FHandle);
    FPath = std::move(other.FPath);
    FHandle = std::exchange(other.FHandle, nullptr);
  }
  return *this;
}

TAppendFile::~TAppendFile() {
  if (FHandle != nullptr) ::CloseHandle(FHandle);
}

TResult<void> TAppendFile::AppendLine(std::string_view line) {
  if (FHandle == nullptr) return SystemFileError(TErrorKind::Write, FPath, ERROR_INVALID_HANDLE);
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(FHandle, &size)) return fileio_detail::LastFailure(TErrorKind::Write, FPath);
  char last = '\n';
  if (size.QuadPart > 0) {
    // A read at an offset: the appends do not depend on the file pointer.
    OVERLAPPED at{};
    const auto offset = static_cast<std::uint64_t>(size.QuadPart - 1);
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!::ReadFile(FHandle, &last, 1, &got, &at) || got != 1)
      return fileio_detail::LastFailure(TErrorKind::Read, FPath);
  }
  std::string record;
  record.reserve(line.size() + 2);
  if (last != '\n') record += '\n';
  record.append(line);
  record += '\n';
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(record.data()), record.size());
  if (const DWORD error = fileio_detail::WriteAll(FHandle, bytes); error != 0)
    return SystemFileError(TErrorKind::Write, FPath, static_cast<int>(error));
  if (!::FlushFileBuffers(FHandle)) return fileio_detail::LastFailure(TErrorKind::Write, FPath);
  return {};
}

}  // namespace quenvar
