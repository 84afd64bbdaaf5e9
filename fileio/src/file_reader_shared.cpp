// What the reader does the same way on every system; opening and the system
// calls are in posix/ and win32/.
#include <algorithm>
#include <cstring>
#include <utility>

#include "quenvar/fileio/file_reader.h"

namespace quenvar {

TFileReader::TFileReader(TFileReader&& other) noexcept
    : FPath(std::move(other.FPath)),
      FFile(std::exchange(other.FFile, kNoFile)),
      FMemory(std::move(other.FMemory)),
      FSizeHint(other.FSizeHint),
      FPosition(other.FPosition),
      FFailure(std::move(other.FFailure)) {}

TFileReader& TFileReader::operator=(TFileReader&& other) noexcept {
  if (this != &other) {
    if (FFile != kNoFile) CloseFile(FFile);
    FPath = std::move(other.FPath);
    FFile = std::exchange(other.FFile, kNoFile);
    FMemory = std::move(other.FMemory);
    FSizeHint = other.FSizeHint;
    FPosition = other.FPosition;
    FFailure = std::move(other.FFailure);
  }
  return *this;
}

TFileReader::~TFileReader() {
  if (FFile != kNoFile) CloseFile(FFile);
}

std::size_t TFileReader::Read(std::span<std::uint8_t> to) {
  if (FFailure) return 0;
  if (FFile == kNoFile) {
    const std::size_t n = std::min(to.size(), FMemory.size() - std::min(FPosition, FMemory.size()));
    if (n > 0) std::memcpy(to.data(), FMemory.data() + FPosition, n);
    FPosition += n;
    return n;
  }
  std::size_t have = 0;
  while (have < to.size()) {
    int error = 0;
    const std::size_t n = ReadAt(FFile, to.subspan(have), FPosition, error);
    if (error != 0) {
      FFailure = SystemFileError(TErrorKind::Read, FPath, error);
      return 0;
    }
    if (n == 0) break;
    have += n;
    FPosition += n;
  }
  return have;
}

}  // namespace quenvar
