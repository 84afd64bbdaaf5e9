#pragma once
// Reading a whole file that must be a regular file: a FIFO or a device is
// refused at once instead of waiting for a writer that may never come.

#include <cstdint>
#include <string>
#include <vector>

#include "quenvar/fileio/file_error.h"

namespace quenvar {

// All bytes of the file. A folder fails with "Is a directory", anything else
// that is not a regular file with "Not a regular file".
TResult<std::vector<std::uint8_t>> ReadRegularFile(const std::string& path);

}  // namespace quenvar
