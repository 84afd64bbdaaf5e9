#pragma once

// Whole files as raw bytes, read in one piece; file errors as the buffer reports them.
// Saves go through TAtomicFile.

#include <cstdint>
#include <string>
#include <vector>

#include "quenvar/buffer/buffer_result.h"
#include "quenvar/fileio/file_result.h"

namespace quenvar {

struct TFileReadResult {
  std::vector<std::uint8_t> Bytes;
  TBufferResult Status;  // failure: "Cannot open <name>.\r\n(<system text>.)" and the like
};

// Reads all bytes of the file.
TFileReadResult ReadWholeFile(const std::string& FileName);

// A file error as the standard error box shows it:
// "Cannot create <name>.\r\n(<system text>.)" (or open, read, write, lock).
TBufferResult BufferResultOf(const TFileFailure& Error);

}  // namespace quenvar
