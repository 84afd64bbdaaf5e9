#pragma once
// A file that one process at a time works on: locked (flock) from Open until
// Unlock or destruction, across atomic replacements of its content, so a
// second process waits and then sees everything the first one saved.
//
// On Windows a file that another process holds open cannot be renamed over,
// so no handle stays open on it: the lock is a named mutex of the file's full
// path instead, which the system also releases when its holder ends. It belongs
// to the thread that opened the file; Unlock there.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "quenvar/fileio/file_error.h"

namespace quenvar {

class TLockedFile {
 public:
  // Opens the file, creating it empty when it is missing, and locks it. While
  // another process holds it, onWait is called once (so a front end can say
  // why nothing happens) and Open waits. Anything but a regular file is
  // refused at once.
  static TResult<TLockedFile> Open(const std::string& path,
                                   const std::function<void()>& onWait = {});

  TLockedFile(TLockedFile&& other) noexcept;
  TLockedFile& operator=(TLockedFile&& other) noexcept;
  TLockedFile(const TLockedFile&) = delete;
  TLockedFile& operator=(const TLockedFile&) = delete;
  ~TLockedFile();

  // The whole content (empty for a file Open created).
  TResult<std::vector<std::uint8_t>> ReadAll() const;
  // Replaces the content atomically and keeps the lock on the new file.
  TResult<void> Replace(std::span<const std::uint8_t> bytes);
  // Lets the next process have the file; Replace fails afterwards.
  void Unlock();

#ifdef _WIN32
  bool Locked() const {
    return FMutex != nullptr;
  }
#else
  bool Locked() const {
    return FFd >= 0;
  }
#endif
  const std::string& Path() const {
    return FPath;
  }

 private:
  TLockedFile() = default;

  std::string FPath;
#ifdef _WIN32
  void* FMutex = nullptr;  // the HANDLE of the named mutex while it is held
#else
  int FFd = -1;
#endif
};

}  // namespace quenvar
