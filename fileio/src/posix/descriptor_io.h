#pragma once
// Plain read and write loops on a descriptor, shared by the file kinds here.

#include <cstdint>
#include <span>
#include <vector>

namespace quenvar::fileio_detail {

// Writes everything; 0 or the errno of the failing call.
int WriteAll(int fd, std::span<const std::uint8_t> bytes);

// Reads from the current offset to the end; 0 or the errno of the failing call.
int ReadAll(int fd, std::vector<std::uint8_t>& out);

// 0 for a regular file, EISDIR for a folder, -1 for anything else, or the
// errno of fstat.
int RegularFileCheck(int fd);

}  // namespace quenvar::fileio_detail
