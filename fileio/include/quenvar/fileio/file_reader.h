#pragma once
// Reading a file from its start, once or in several passes, without holding a
// copy of it: each pass reads a regular file again (from the page cache), a
// piece at a time into the caller's buffer, so a large file costs the caller
// only that buffer. The file is not mapped: another program that cuts it short
// while it is read (a build rewriting its output) must give a read error or a
// short file, not end this program.
//
// Anything that is not a regular file (a FIFO) cannot be read twice; it is
// read into memory whole when it is opened.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quenvar/fileio/file_error.h"

namespace quenvar {

class TFileReader {
 public:
  // A folder fails with "Is a directory"; opening a FIFO waits for its writer.
  static TResult<TFileReader> Open(const std::string& path);

  TFileReader(TFileReader&& other) noexcept;
  TFileReader& operator=(TFileReader&& other) noexcept;
  TFileReader(const TFileReader&) = delete;
  TFileReader& operator=(const TFileReader&) = delete;
  ~TFileReader();

  // The size when it was opened: a hint for sizing, since the file can change.
  std::size_t SizeHint() const { return FSizeHint; }
  // The next Read starts at the first byte again.
  void Rewind() { FPosition = 0; }
  // Fills `to` from the current position; fewer bytes only at the end of the
  // file, 0 at the end and after a failure.
  std::size_t Read(std::span<std::uint8_t> to);
  // The first failed read; the bytes read before it are no whole file.
  const std::optional<TError>& Failure() const { return FFailure; }
  const std::string& Path() const { return FPath; }

 private:
  TFileReader() = default;

#ifdef _WIN32
  using TNativeFile = void*;  // a HANDLE
  static constexpr TNativeFile kNoFile = nullptr;
#else
  using TNativeFile = int;  // a descriptor
  static constexpr TNativeFile kNoFile = -1;
#endif
  // The system's half: closing, and reading at an offset (bytes read, 0 at
  // the end; a failure sets `error`).
  static void CloseFile(TNativeFile file);
  static std::size_t ReadAt(TNativeFile file, std::span<std::uint8_t> to, std::uint64_t offset,
                            int& error);

  std::string FPath;
  TNativeFile FFile = kNoFile;  // kNoFile when the content is in FMemory
  std::vector<std::uint8_t> FMemory;
  std::size_t FSizeHint = 0;
  std::size_t FPosition = 0;
  std::optional<TError> FFailure;
};

}  // namespace quenvar
