#pragma once
// The pieces the Windows file code shares: UTF-16 names, handle checks and
// whole reads and writes on a handle.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quenvar/fileio/file_error.h"

namespace quenvar::fileio_detail {

// The name Windows takes for a UTF-8 path; nullopt for bytes that are no UTF-8.
std::optional<std::wstring> WideName(const std::string& path);

// SystemFileError with the calling thread's last error.
TError LastFailure(TErrorKind action, const std::string& path);

// Whether the handle is a file on a disk (not a device, pipe or console).
bool IsDiskFile(HANDLE handle);

// Writes everything; 0 or the error code of the failing call.
DWORD WriteAll(HANDLE handle, std::span<const std::uint8_t> bytes);

// Reads from the current position to the end; 0 or the error code.
DWORD ReadAll(HANDLE handle, std::vector<std::uint8_t>& out);

// Opens an existing file for reading, shared with readers, writers and renames.
HANDLE OpenForReading(const std::wstring& name);

// Opens the file with `access`, shared as above, creating it empty when it is
// missing; anything but a file on a disk is refused. A folder fails with the
// system's "Access is denied".
TResult<HANDLE> OpenDiskFile(const std::string& path, DWORD access);

}  // namespace quenvar::fileio_detail
