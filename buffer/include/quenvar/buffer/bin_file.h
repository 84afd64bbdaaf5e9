#pragma once

// Whole files as raw bytes: read in one piece, replace atomically.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "quenvar/buffer/buffer_result.h"

namespace quenvar {

struct TFileReadResult {
  std::vector<std::uint8_t> Bytes;
  TBufferResult Status;  // failure: "Cannot open <name>.\r\n(<system text>.)" and the like
};

// Reads all bytes of the file.
TFileReadResult ReadWholeFile(const std::string& FileName);

// Writes Bytes to a new file in the target's folder and renames it over the
// target, so a failed save leaves the previous file as it was. An existing
// target keeps its permission bits; a write-protected one is refused; a
// symbolic link is followed and the file it names is replaced.
TBufferResult WriteFileAtomically(const std::string& FileName, std::span<const std::uint8_t> Bytes);

}  // namespace quenvar
