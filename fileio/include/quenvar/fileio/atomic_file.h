#pragma once
// The one way this program replaces a file: the new content goes into a fresh
// temporary file beside the target, is synced, and is renamed over the target,
// so the target is always either the old or the new content, never half of it.
//
// - The temporary file has a name nobody else can predict and is created
//   exclusively without following links: a file or link that happens to carry
//   a temporary-looking name (`out.bin.~save`, `out.bin.tmp`) is never touched.
// - An existing target keeps its permission bits; a new one gets 0666 less
//   the umask, as any new file does.
// - A target that is a symbolic link is written through: the file the link
//   names is replaced and the link stays, as a shell's `>` would do. Users keep
//   such links on purpose (`current.hex -> builds/v3.hex`). A link in a
//   world-writable sticky folder (/tmp) that belongs to someone else is
//   refused instead, as the kernel refuses to open it.
// - A write-protected target, a folder and anything but a regular file (a
//   FIFO, a device) are refused before anything is written.
// - Every failure removes the temporary file.
//
// On Windows the rename is MoveFileExW(REPLACE_EXISTING | WRITE_THROUGH) after
// FlushFileBuffers; the temporary file is created with CREATE_NEW. The new
// file gets the folder's default rights, a read-only target is refused, a
// symbolic link is replaced rather than written through (links are rare
// there), and device names (NUL, COM1) count as not regular files.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "quenvar/fileio/file_error.h"

namespace quenvar {

class TAtomicFile {
 public:
  // Creates the temporary file now, so a caller can learn that the output can
  // be written before it starts a long job whose result would otherwise be lost.
  static TResult<TAtomicFile> Create(const std::string& target);

  TAtomicFile(TAtomicFile&& other) noexcept;
  TAtomicFile& operator=(TAtomicFile&& other) noexcept;
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;
  // Aborts unless committed.
  ~TAtomicFile();

  // Appends all bytes (short writes and interrupted calls are retried). A
  // failure aborts the file; later calls give the same error.
  TResult<void> Write(std::span<const std::uint8_t> bytes);
  // Syncs the content, renames it over the target and syncs the folder.
  TResult<void> Commit();
  // Closes and removes the temporary file; the target stays as it was.
  void Abort();

  // The name the caller gave.
  const std::string& Target() const { return FTarget; }
  // The temporary file while it exists (empty after Commit and Abort), for a
  // signal handler that must remove it when the process is stopped.
  const std::string& TempPath() const { return FTempPath; }
#ifndef _WIN32
  // The temporary file's descriptor until Commit or Abort (else -1); a lock
  // taken on it moves with the content to the target.
  int Descriptor() const {
    return FFd;
  }
#endif

 private:
  TAtomicFile() = default;
  TResult<void> Fail(TError error);

  std::string FTarget;
  std::string FDestination;  // the target with its last symbolic links resolved
  std::string FTempPath;
#ifdef _WIN32
  void* FHandle = nullptr;  // the temporary file's HANDLE until Commit or Abort
#else
  int FFd = -1;
  bool FKeepMode = false;
  mode_t FMode = 0;
#endif
  std::optional<TError> FFailure;
  std::uint64_t FWritten = 0;  // bytes written so far
  std::uint64_t FFlushed = 0;  // bytes whose writeback has been started
};

// Create, Write and Commit in one call.
TResult<void> WriteFileAtomically(const std::string& target, std::span<const std::uint8_t> bytes);

}  // namespace quenvar
