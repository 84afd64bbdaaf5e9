#pragma once
// The system's own reasons for the file failures that tests provoke, as fileio
// passes them on: the errno texts on Linux; on Windows FormatMessage's, which
// differ between Windows versions, Wine and languages, so they are asked for.

#include <string>

#include "quenvar/fileio/file_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

namespace quenvar::test {

struct TSystemReason {
  std::string FText;
  int FCode = 0;
};

#ifdef _WIN32
inline TSystemReason WindowsReason(DWORD code) {
  return {SystemMessage(static_cast<int>(code)), static_cast<int>(code)};
}
inline TSystemReason MissingFileReason() {
  return WindowsReason(ERROR_FILE_NOT_FOUND);
}
inline TSystemReason MissingFolderReason() {
  return WindowsReason(ERROR_PATH_NOT_FOUND);
}
inline TSystemReason FolderReason() {
  return WindowsReason(ERROR_ACCESS_DENIED);
}
inline TSystemReason WriteProtectedReason() {
  return WindowsReason(ERROR_ACCESS_DENIED);
}
#else
inline TSystemReason MissingFileReason() {
  return {"No such file or directory", ENOENT};
}
inline TSystemReason MissingFolderReason() {
  return {"No such file or directory", ENOENT};
}
inline TSystemReason FolderReason() {
  return {"Is a directory", EISDIR};
}
inline TSystemReason WriteProtectedReason() {
  return {"Permission denied", EACCES};
}
#endif

}  // namespace quenvar::test
