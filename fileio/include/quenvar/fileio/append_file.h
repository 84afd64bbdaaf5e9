#pragma once
// A record file that only grows, one whole line at a time, shared by several
// writers (a production log that two stations append to). Opened for
// appending only (O_APPEND; FILE_APPEND_DATA on Windows), so every line lands
// at the end whoever wrote last; each line goes out in one write and is
// synced before AppendLine returns.
//
// A writer that died in the middle of a line (a crash, a full disk) leaves a
// line without its end. The next line then starts with a line break, so the
// cut line stays alone and every later line is whole.

#include <string>
#include <string_view>

#include "quenvar/fileio/file_error.h"

namespace quenvar {

class TAppendFile {
 public:
  // Opens the file for appending, creating it (0666 less the umask) when it
  // is missing. A folder, FIFO or device is refused.
  static TResult<TAppendFile> Open(const std::string& path);

  TAppendFile(TAppendFile&& other) noexcept;
  TAppendFile& operator=(TAppendFile&& other) noexcept;
  TAppendFile(const TAppendFile&) = delete;
  TAppendFile& operator=(const TAppendFile&) = delete;
  ~TAppendFile();

  // Appends `line` (without its line break) and a line break, synced.
  TResult<void> AppendLine(std::string_view line);

  const std::string& Path() const { return FPath; }

 private:
  TAppendFile() = default;

  std::string FPath;
#ifdef _WIN32
  void* FHandle = nullptr;  // the file's HANDLE; null when moved from
#else
  int FFd = -1;
#endif
};

}  // namespace quenvar
